// The one program logger of a run: opened by the front end when it starts, used by
// the maintenance jobs and the statistics request, closed when the front end ends.
#pragma once

class TQLXLogger;

// The program logger, or nullptr while there is none (then nothing is logged).
TQLXLogger* ProgramLogger() noexcept;
// Installs (or, with nullptr, removes) the program logger; the caller keeps ownership.
void SetProgramLogger(TQLXLogger* logger) noexcept;

// Creates the log's directory (with its parents; a failure is ignored), the program
// logger on the site's log file, and logs an empty line and "Программа запущена".
void OpenProgramLog();
// Logs "Выход из программы" and frees the program logger; nothing when none is open.
void CloseProgramLog() noexcept;
