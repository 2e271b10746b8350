#include "res/strings.h"

#include <algorithm>
#include <iterator>

namespace korvel::res {

namespace {

struct Entry {
    int id;
    std::string_view text;
};

// Sorted by id, each id once (checked below at compile time).
constexpr Entry kTable[] = {
    {129, "Korvel"},
    {130, "Version " KORVEL_VERSION " "},  // the build's own version
    {135,
     "Undo processing interrupted by %1!\n\"status.txt\" has a log of the changes made by \nthis undo pass.  "
     "Save the current log and compare \nit to \"status.txt\" to see what changes are still in effect."},
    {136, "low memory"},
    {137, "an undefined exception."},
    {138,
     "Processing interrupted by a low memory condition!\nTry closing other applications or working on "
     "each\nsubdirectory of the current directory separately."},
    {141,
     "Interruption occurred during modifications to files, try\n\"Undo Last\" from File menu after closing "
     "all other applications."},
    {142, "Generating a partial report."},
    {272, "REPORT FROM SUCCESSFUL PASS"},
    {273, "PARTIAL REPORT:  EARLY TERMINATION"},
    {274, "PARTIAL REPORT:  TERMINATED EARLY BY LOW MEMORY OR OTHER CONDITION"},
    {275, "REVERTED FILES TO INITIAL STATE"},
    {276, "There were file permissions errors or file I/O errors.  See below for details."},
    {277, "There were HTML syntax errors.  See below for details."},
    {278, "There were unresolved local URLs.  See below for details."},
    {279, "There were unused (orphan) files in the Web hierarchy.  See below for details."},
    {280, "This site looks totally clean, with no orphans, broken links, or syntax errors!"},
    {281, "Directory checked on "},
    {282, "%d files in %d directories"},
    {287, "List of External URLs"},
    {291,
     "Error creating the report file!\nFiles \"%1\" through \"%2\"\ncontain information about the report."},
    {293, "Removed %d orphans and %d orphan directories "},
    {294, "   from: "},
    {295, "   to:   "},
    {297, "Restored %d orphans and %d orphan directories "},
    {298, "    Made with %1 %2"},
    {301, "Can not undo last directory operation, no files were changed."},
    {302, "Top level directory was not found:\n\t\"%1\""},
    {303, "Home Page not found:\n\t\"%1\""},
    {304, "Original Filename"},
    {305, "Suggested Filename"},
    {2115, "The \"Move To\" path name is not a valid directory!\nPlease enter a valid directory name."},
    {2512, "Directory:  %1"},
    {2513, "Home Page:  %1"},
    {2514, "Using subdirectories"},
    {2515, " (make local log in each subdirectory)"},
    {2516, "Filename convention: %1"},
    {2517, "ASCII line end conversion: %1"},
    {2518, " (prompt for each filename change)"},
    {2519, "Rename the files now"},
    {2520, "Do not rename files, just offer suggestions"},
    {2521, "Rename Web files to use %1 filename extensions"},
    {2522, "Do not check URL references"},
    {2523, "Update URLs for server: \"%1\""},
    {2524, "Report HTML references for local files which can't be found"},
    {2525, "Report local files which are unused in the Web hierarchy"},
    {2526, "Report external URLs which are referenced by the site"},
    {2527, "Check URLs for server: \"%1\""},
    {2528, "Revert URLs to previous state"},
    {2529, "Convert to absolute URLs (e.g.: \"https://www.example.com/imgs/pict.gif\")"},
    {2530, "Convert to root (base) URLs (e.g.: \"/imgs/pict.gif\")"},
    {2531, "Convert to relative URLs (e.g.: \"../imgs/pict.gif\")"},
    {2533, "Map filename extensions using user-defined list"},
    {2534, "Verify Removal of Orphans"},
    {2535, "Verify ASCII Line End Conversions"},
    {2536, "Uncheck a file's checkbox if you do not want to convert its ASCII line endings."},
    {2537, "Uncheck an orphan file's checkbox if you do not want to move/delete it."},
    {2538, "Gathering Orphans"},
    {2540, "No orphans were found!"},
    {2542, "Removing Orphan Directories"},
    {2543, "Report page sizes and estimated download times"},
    {28416, " "},
    {28417, "HEADER"},
    {28418, "THE FOLLOWING ERRORS WERE ENCOUNTERED:"},
    {28419, "READ-ONLY, SYSTEM, HIDDEN, OR TEMPORARY FILES:"},
    {28420, "THESE FILES NEEDED RENAMING BUT WERE NOT RENAMED BY USER REQUEST:"},
    {28424, "RESTORED FILENAMES:"},
    {28425, "SUGGESTED NEW NAMES FOR FILES:"},
    {28426, "RENAMED FILES:"},
    {28427, "THESE FILES NEEDED ASCII LINE END UPDATING BUT WERE NOT UPDATED BY USER REQUEST:"},
    {28428, "FILES WITH CHANGED LINE ENDINGS:"},
    {28430, " "},
    {28432, "HTML SYNTAX ERRORS:"},
    {28433, "URL LINK RENAMING:"},
    {28434, "SUGGESTED URL LINK RENAMING:"},
    {28435, "UNRESOLVED LOCAL LINKS:"},
    {28436, "THE FOLLOWING FILES WERE NOT USED IN THE SITE HIERARCHY:"},
    {28437, "REMOVED ORPHANS:"},
    {28438, "EXTERNAL URL REFERENCES:"},
    {28439, "EXTERNAL URL REFERENCES:"},
    {28440, "DOWNLOAD TIMES:"},
    {28441, "RESTORED ORPHANS:"},
    {28500, " "},
    {28501,
     "The list of external URLs was not copied into the site: an entry of its name that Korvel did not write "
     "is in the way:"},
    {28502, "The list of external URLs could not be copied into the site (%1):"},
    {28673, "This dialog will only let you enter valid %1 filenames."},
    {28674, "Empty string!  Please enter a new filename!"},
    {28675,
     "The new filename is not unique!\nA unique name is now being substituted in the \"Suggested Change\" "
     "field."},
    {28676,
     "The directory path is over 220 characters long!\nThis application may run out of room to manipulate\n"
     "filenames (errors will be reported to the log file).\n\nIf you have problems, try moving your "
     "files\nto "
     "a directory with a shorter path. "},
    {28680, "In file \"%1\""},
    {28682, "The following file is a %2 file and will be skipped.\n\t%1"},
    {28683, "%2 file was skipped\n\t%1"},
    {28684, "Failed to convert read-only to read-write"},
    {28685, "Read-only file was skipped"},
    {28686, "Converted read-only to read-write"},
    {28688, "RENAME.LOG"},
    {28702, "%1 -> %2:  "},
    {28703, "%1\n   -------->  %2"},
    {28704, " (case change)"},
    {28705, " (reserved character encode)"},
    {28707, "All filenames were valid for the target system!"},
    {28708, "No file names were changed, so there were no renamings to undo."},
    {28709, "No local URL links needed to be renamed."},
    {28710, "All files had compatible ASCII line endings!"},
    {28711,
     "Links were not converted to absolute form: no server name is set. Give the server name, or choose "
     "another form of link."},
    {28720, "An HTML file has been created with the above list of external URLs so you"},
    {28721, "can load it into your Web browser and verify the external links."},
    {28722, "This file is named: \"%1\""},
    {28723,
     "Note: Sizes and times are rounded up.  Download times may be faster than reported \nif a file contains "
     "reused graphics that are already cached in the browser.\n"},
    {28724, "Total size of the front page of the site (including any pages embedded in a frameset):"},
    {28725, "Sizes for each page (not including the sizes of pages embedded in framesets):"},
    {28727,
     "\"*\" indicates that an external file whose size could not be determined is embedded in the page."},
    {28728, "\"!\" indicates that a broken link is embedded in the page."},
    {28729, "%4d kb %5d s %5d s %5d s %5d s    "},
    {28730, " Kbytes   @14.4   @28.8   @33.6     @56     Filename"},
    {28741, "No external URL link references!"},
    {28742, " (repeated above)"},
    {28743,
     "\"?\" indicates that the size of the page, or of a local file embedded in it, could not be determined; "
     "that size is not counted."},
    {28744,
     "Files that only scripts load cannot be seen, as scripts are not read for links: they are listed "
     "here as orphans."},
    {28752, "Removing Files"},
    {28753, "Moving Files"},
    {28760, "%1    HTML syntax error, no closing \">\""},
    {28761, "%1    HTML syntax error, no starting \"<\""},
    {28762, "%1    HTML syntax error, no matching open comment"},
    {28763, "%1    HTML syntax error, no end quote on attribute"},
    {30002, "Validating Filenames"},
    {30003, "Looking for Files"},
    {30004, "Checking URL Links"},
    {30005, "Validating URL Links"},
    {30006, "Updating URL Links"},
    {30007, "Renaming Files"},
    {30008, "Reporting Suggested Filenames"},
    {30009, "Searching for ASCII Files"},
    {30010, "Updating ASCII Line Ends"},
    {30011, "Reporting Broken Links"},
    {30012, "Reporting Orphan Files"},
    {30013, "Reporting External URL References"},
    {30014, "Undoing the Renaming"},
    {30015, "Reporting Download times"},
    {30016, "File open failed"},
    {30017, "File read failed"},
    {30018, "File write failed"},
    {30019, "Removal to trash/recycle bin failed"},
    {30020, "Could not open temporary file!"},
    {30021, "Write to temporary file failed"},
    {30023, "Checking URLs for Unlinked Files"},
    {30024, "Failed to create directory"},
    {30025, "Failed to delete directory"},
    {30026, "Failed to delete file"},
    {30027, "Failed to rename file\n\t%1\nto\n\t%2"},
    {30030, "Directory name was too long to rename (> %1)"},
    {30031, "Error updating, unable to restore original file!"},
    {30032,
     "Error creating log report file!\nCould not continue.\nTry setting your \"TMP\" environment variable to "
     "a "
     "writable directory."},
    {30033, "memory allocation error"},
    {30039, "File move failed"},
    {30040, "During scan, "},
    {30041, "During copy, "},
    {30100, "Top level directory was not found:"},
    {30101, "Could not list directory"},
    {30102, "Path of %2 bytes or more was skipped\n\t%1"},
    {30103, "Directory already scanned under another path was skipped\n\t%1"},
    {30120, "A full copy of the original was kept:"},
    {30130, "New Filename"},
    {30131, "Modified Filename"},
    {30132, "Failed to restore the original permissions"},
    {30133,
     "Neither the new name nor the old one could be given; the entry was left under a temporary "
     "name\n\t%1\ninstead "
     "of\n\t%2"},
    {30134, "The file changed after its links were read; its links were not updated"},
    {30160, "The change was not made: the undo journal %2 could not record it (%1)"},
    {30161, "The undo journal could not be read (%1)"},
    {30162, "The undo journal could not be updated (%1); it still lists changes that were undone"},
    {30163, "Not undone, left as it is (%1):"},
    {30164, "Not renamed back, left as it is (%1)\n\t%2\nwould have gone back to"},
    {30165, "it was changed after the job"},
    {30166, "its original name is taken"},
    {30167, "it is no longer where the job left it"},
    {30168, "the saved copy of the original is missing or damaged"},
    {30169, "the directory is not empty"},
    {30170, "something else has that name"},
    {30171, "where the trash put it is not known"},
    {30172, "it is no longer in the trash"},
    {30173, "Failed to restore the modification time"},
    {30174, "it is the journal of another directory"},
    {30175,
     "The orphans were not moved: the \"Move To\" directory lies inside the site, where they would still be "
     "part of it"},
    {30176,
     "The orphans were not moved: some files or directories could not be read (see the errors above), and "
     "what they link to would look unused"},
    {30177,
     "Another Korvel job is changing this site now; nothing was changed. Try again when it has finished"},
    {30178, "Line %1 of the undo journal could not be read (%2); what it recorded was not undone"},
    {30179, "its check does not match: it was damaged or altered"},
    {30180, "it is not an entry this version writes"},
    {30181, "it ends before its line end: the journal was cut short"},
    {30182,
     "The undo journal is kept with every saved copy of the originals, as some of its lines could not be "
     "read"},
    {30183, "the journal names a place outside the site"},
    {30184,
     "The undo journal is not this directory's: the directory the job changed was removed or replaced "
     "since; nothing was undone"},
    {30185, "The undo journal was written by a newer version of Korvel; nothing was undone"},
    {30186, "The undo journal's directory is not safe to use (%1); nothing was read from it or removed"},
    {30187, "the symbolic link now points elsewhere"},
    {30188,
     "Renaming stopped: the disk or the undo journal refused a change (see the errors). What was renamed is "
     "listed below; undo puts it back"},
    {30189,
     "Some pages could not be rewritten (see the errors): their links to renamed files stay broken until "
     "the fix is undone"},
    {30200, "The file changed after it was read; its line ends were not converted"},
    {30201, "The file has more than one name (hard links) and was left alone"},
    {30202, "No temporary file can be made beside the file; it was left as it was"},
    {30203, "The file's owner and group could not be kept; it was left as it was"},
    {30204, "Line ends not converted: the file holds NUL bytes, so it is not text"},
    {30205, "Line ends not converted: the file is UTF-16 or UTF-32 text"},
    {30206, "Read-only file was rewritten and is still read-only"},
    {30207, "Files with more than one name (hard links) are rewritten as new files"},
    {30220,
     "Not sent to the trash: the name is longer than the trash can record (at most %1 bytes); it stays"},
    {30221, "Korvel's state directory was skipped\n\t%1"},
    {30222, "The \"Move To\" directory was skipped\n\t%1"},
    {30223, "A trash directory was skipped\n\t%1"},
    {30224,
     "Symbolic link not moved: from its new place it would no longer lead to what it leads to now; it stays"},
    {30225, "Home Page lies outside the site's directory, so it cannot lead to the site's files:\n\t\"%1\""},
    {30226,
     "The site is on another file system than your home directory: the orphans go to that file system's own "
     "trash, %1, not to the trash in your home directory."},
    {30227, "The orphans went to the trash of the site's own file system: %1"},
    {30270, "BROKEN ANCHORS:"},
    {30271, "Links whose fragment (after \"#\") names no id or anchor name in the page they lead to:"},
    {30272, "There were links to anchors that their pages do not have.  See below for details."},
    {30273, "Report links to a \"#fragment\" which can't be found in the page they lead to"},
    {30274, "Reporting Broken Anchors"},
    {30290, "Never orphans (kept): %1"},
    {30291,
     "This file is a symbolic link, whose content is not the site's own: these links were not rewritten, and "
     "the "
     "new names break them"},
};

constexpr bool sortedAndUnique() {
    for (std::size_t i = 1; i < std::size(kTable); ++i)
        if (kTable[i - 1].id >= kTable[i].id) return false;
    return true;
}
static_assert(sortedAndUnique(), "string table must be sorted by id with no id twice");

}  // namespace

std::string_view loadString(int id) {
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                      [](const Entry& e, int key) { return e.id < key; });
    return it != std::end(kTable) && it->id == id ? it->text : std::string_view{};
}

std::string formatText(std::string_view text, std::string_view a1, std::string_view a2) {
    std::string out;
    out.reserve(text.size() + a1.size() + a2.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out.append(text[i + 1] == '1' ? a1 : a2);
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string formatNumbers(int id, std::initializer_list<long long> numbers) {
    const std::string_view text = loadString(id);
    std::string out;
    auto next = numbers.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'd' && next != numbers.end()) {
            out += std::to_string(*next++);
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string formatString(int id, std::string_view a1, std::string_view a2) {
    return formatText(loadString(id), a1, a2);
}

}  // namespace korvel::res
