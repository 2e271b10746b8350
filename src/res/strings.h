#pragma once
// The string table: every text a person sees, by its number.
#include <initializer_list>
#include <string>
#include <string_view>

namespace korvel::res {

// Named numbers for the texts the code refers to. The table in strings.cpp holds the texts.
enum StringId : int {
    kProductName = 129,
    kVersion = 130,
    kFilesInDirectories = 282,
    kListOfExternalUrls = 287,
    kNothingToUndo = 301,
    kOriginalFilename = 304,
    kSuggestedFilename = 305,
    kVerifyOrphansCaption = 2534,
    kVerifyLineEndsCaption = 2535,
    kVerifyLineEndsExplanation = 2536,
    kVerifyOrphansExplanation = 2537,
    kSectionSummary = 28416,
    kSectionHeader = 28417,
    kSectionErrors = 28418,
    kSectionSkippedFiles = 28419,
    kSectionNotRenamed = 28420,
    kSectionRestoredNames = 28424,
    kSectionSuggestedNames = 28425,
    kSectionRenamedFiles = 28426,
    kSectionLineEndsNotUpdated = 28427,
    kSectionChangedLineEnds = 28428,
    kSectionJobNote = 28430,
    kSectionSyntaxErrors = 28432,
    kSectionUrlRenaming = 28433,
    kSectionSuggestedUrlRenaming = 28434,
    kSectionUnresolvedLinks = 28435,
    kSectionUnusedFiles = 28436,
    kSectionRemovedOrphans = 28437,
    kSectionExternalUrls = 28438,
    kSectionExternalUrlPage = 28439,
    kSectionDownloadTimes = 28440,
    kSectionRestoredOrphans = 28441,
    kSectionExternalPageNote = 28500,
    kRenamePromptHeading = 28673,
    kEmptyFilename = 28674,
    kFilenameNotUnique = 28675,
    kSkippedFilePrompt = 28682,
    kSkippedFileLine = 28683,
    kReadOnlyConvertFailed = 28684,
    kReadOnlySkipped = 28685,
    kReadOnlyConverted = 28686,
    kRenameLogName = 28688,
    kRemovingFiles = 28752,
    kLookingForFiles = 30003,
    kFileOpenFailed = 30016,
    kFileReadFailed = 30017,
    kFileWriteFailed = 30018,
    kTrashFailed = 30019,
    kFailedToCreateDirectory = 30024,
    kFailedToDeleteDirectory = 30025,
    kFailedToDeleteFile = 30026,
    kFailedToRenameFile = 30027,
    kLogFileCreateFailed = 30032,
    kMemoryAllocationError = 30033,
    kDuringCopy = 30041,
    kTopDirectoryNotFound = 30100,
    kDirectoryListFailed = 30101,
    kPathTooLongSkipped = 30102,
    kDirectoryScannedTwice = 30103,
    kOriginalCopyKept = 30120,
};

// The text of "id", or "" when the table has no such entry.
std::string_view loadString(int id);
// The text of "id" with "%1" and "%2" replaced in one pass, so that an argument holding "%2" stays as it is.
std::string formatString(int id, std::string_view a1 = {}, std::string_view a2 = {});
// The text of "id" with each "%d" replaced by the next number, in order.
std::string formatNumbers(int id, std::initializer_list<long long> numbers);
// The same substitution on a text that is not in the table.
std::string formatText(std::string_view text, std::string_view a1 = {}, std::string_view a2 = {});

}  // namespace korvel::res
