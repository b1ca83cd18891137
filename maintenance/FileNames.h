// Names of the files the rebuild puts beside a database.
#pragma once

#include <string>

// `path` with the extension of its file name (from the name's last dot on) replaced
// by `extension`; a name without a dot gets `extension` appended. Dots in folder
// names do not count.
//   "C:\QORD\DB\ZARVO.FDB", ".qvnbasebackup"  -> "C:\QORD\DB\ZARVO.qvnbasebackup"
//   "D:\data\base",         ".qvnbasebackup"  -> "D:\data\base.qvnbasebackup"
//   "D:\v1.2\base",         ".qvntempbase"    -> "D:\v1.2\base.qvntempbase"
// Folder separators: '\', '/' and the drive colon on Windows; '/' elsewhere.
std::string ChangeFileExt(const std::string& path, const std::string& extension);

constexpr const char* kBackupExtension = ".qvnbasebackup";
constexpr const char* kTempBaseExtension = ".qvntempbase";
