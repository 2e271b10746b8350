#pragma once
// What a job did, as a set of bits. The job commands set them as they go; the report assembly reads them to
// word the report (a full report, a partial one, a reverted one) and the interruption message reads them to
// say whether files may have been left half changed.
namespace korvel {

enum JobStatus : unsigned {
    // The fix job began renaming files: names on disk may differ from the scan.
    kStatusRenaming = 0x1,
    // The fix job began converting line ends: file contents may have changed.
    kStatusLineEnds = 0x2,
    // URL links are being rewritten in the pages on disk.
    kStatusUpdatingUrls = 0x4,
    // The link validation or update pass began, so the link reports (syntax errors, broken links, orphans)
    // say something about the site; without it their silence means nothing.
    kStatusUrlPass = 0x8,
    // Every pass of the job ran to its end. Clear after a cancel or an interruption.
    kStatusCompleted = 0x20,
    // An undo (or an orphans restore) ran.
    kStatusUndone = 0x40,
    // A run was interrupted by a reported error, an error carrying its own message.
    kStatusReportedError = 0x80,
    // A run was interrupted because memory ran out.
    kStatusOutOfMemory = 0x100,
    // An orphans job found orphans, whether or not any of them were then moved or trashed.
    kStatusOrphansFound = 0x200,
};

// The bits that mean files on disk were being changed when the job stopped.
inline constexpr unsigned kStatusModifyingFiles = kStatusRenaming | kStatusLineEnds | kStatusUpdatingUrls;
// The bits that mean the job was interrupted rather than ended or cancelled.
inline constexpr unsigned kStatusInterrupted = kStatusReportedError | kStatusOutOfMemory;

}  // namespace korvel
