#include "files/line_ends.h"

#include "report/section.h"

namespace korvel::files {

namespace {

// Four characters each: "from" left-aligned, "to" right-aligned.
std::string_view fromLabel(LineEndKind kind) {
    switch (kind) {
        case kCrLf: return "DOS ";
        case kCr: return "Mac ";
        default: return "UNIX";
    }
}

std::string_view toLabel(LineEndKind kind) {
    switch (kind) {
        case kCrLf: return " DOS";
        case kCr: return " Mac";
        default: return "UNIX";
    }
}

}  // namespace

void writeLineEndChange(ESection& section, LineEndKind from, LineEndKind to, std::string_view path) {
    section.write(28702, fromLabel(from), toLabel(to));
    section.writeLine(path);
}

}  // namespace korvel::files
