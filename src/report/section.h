#pragma once
// One titled section of a log: lines of text that go to a file, to a standard stream, or nowhere.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace korvel {

class ReportSection {
  public:
    // When the text written so far is handed to the operating system.
    enum class Flush {
        // At every endLine: for what must survive a crash of the job (a directory's rename record) and for
        // the standard streams, whose lines a person may be watching.
        EachLine,
        // When 64 KiB have gathered, at flush() and when the section ends: for report sections, which only
        // the report assembly reads (after flush()). Saves one system call per line on large jobs.
        WhenFull,
    };

    // A section that writes nowhere: every write is ignored and it never has content.
    explicit ReportSection(int titleId = 0);
    ReportSection(const ReportSection&) = delete;
    ReportSection& operator=(const ReportSection&) = delete;
    // Hands any gathered text to the file and closes it. The file stays on disk; removing it is the owner's
    // business.
    virtual ~ReportSection();

    static std::unique_ptr<ReportSection> standardOutput(int titleId);
    static std::unique_ptr<ReportSection> standardError(int titleId);
    // A section that appends to "path" (created when missing, never through a symbolic link). When the
    // file cannot be opened, the person is told (string 30032) and the section writes to standard output
    // instead, so the job goes on; fileName() is then empty.
    static std::unique_ptr<ReportSection> overFile(int titleId, std::string_view path,
                                                   Flush flush = Flush::EachLine);

    // Ends the line. Does not give the section content: empty lines alone never do.
    virtual void endLine();
    // Appends text without a line end; an empty text changes nothing. Any other text gives content.
    virtual void write(std::string_view text);
    // Writes "   line %4d: "; numbers wider than four columns are printed whole.
    virtual void writeLineNumber(int line);

    bool hasContent() const { return content_; }
    void clearContent() { content_ = false; }
    int titleId() const { return titleId_; }
    // The file the section writes to; empty for a standard stream, nowhere, or a file that failed to open.
    const std::string& fileName() const { return fileName_; }
    // True once a write to the file failed (a full disk): some of the section's text is missing from it.
    bool writeFailed() const { return writeFailed_; }
    // Hands the gathered text to the operating system (no fsync), so that the file can be read by name.
    void flush();

    // The helpers. Derived classes override the three operations above, never these.
    void writeLine(std::string_view text);
    void write(int id);
    void writeLine(int id);
    void write(int id, std::string_view a1);
    void writeLine(int id, std::string_view a1);
    void write(int id, std::string_view a1, std::string_view a2);
    void writeLine(int id, std::string_view a1, std::string_view a2);
    void writeAtLine(int line, std::string_view text);
    void writeAtLine(int line, int id);
    void writeAtLine(int line, int id, std::string_view a1);
    void writeAtLine(int line, int id, std::string_view a1, std::string_view a2);

  private:
    ReportSection(int titleId, std::FILE* stream);
    ReportSection(int titleId, int fd, std::string fileName, Flush flush);
    void flushBuffer();

    int titleId_;
    bool content_ = false;
    bool writeFailed_ = false;
    std::FILE* stream_ = nullptr;  // standard output or error, never owned
    int fd_ = -1;                  // the file, owned
    std::string fileName_;
    Flush flush_ = Flush::EachLine;
    std::string buffer_;  // text not yet handed to the file
};

// A shared section that writes nowhere, for code that needs a section where the log offers none (a
// directory's rename log outside a job).
ReportSection& nowhereSection();

}  // namespace korvel
