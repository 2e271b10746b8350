#pragma once
// Texts of the report assembly that others show too: the count line (also printed by "korvel scan") and
// the message a job shows when it was interrupted (the job's status decides its wording).
#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

// "%d files in %d directories": the files are the nodes that are not directories; the directories are
// all of them, the top included, or the top alone when the job did not go into subdirectories.
std::string countLine(bool useSubdirs, std::uint32_t nodeCount, std::uint32_t dirCount);

// The report header's credit line: four spaces, then Korvel and its version.
std::string creditLine();

// The text of the message a job shows when a run was interrupted: the low-memory text when the status
// says memory ran out, else "errorMessage" (the reported error's own text); then a blank line and either
// "Generating a partial report." or, when files were being changed and no undo ran, the advice to use
// "Undo Last".
std::string interruptionMessage(unsigned status, std::string_view errorMessage);

}  // namespace korvel
