// The one program logger of a run: made by the front end when it starts, used by
// the maintenance jobs and the statistics request, destroyed when the front end ends.
#pragma once

class TQLXLogger;

// The program logger, or nullptr while there is none (then nothing is logged).
TQLXLogger* ProgramLogger() noexcept;
// Installs (or, with nullptr, removes) the program logger; the caller keeps ownership.
void SetProgramLogger(TQLXLogger* logger) noexcept;
