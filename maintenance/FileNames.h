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

// A short name for `key` that is the same in every process and run: the 64-bit
// FNV-1a hash of its bytes in 16 hex digits (names of locks and registrations).
std::string NameDigest(const std::string& key);

constexpr const char* kBackupExtension = ".qvnbasebackup";
constexpr const char* kTempBaseExtension = ".qvntempbase";
