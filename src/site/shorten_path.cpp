#include "site/shorten_path.h"

#include <vector>

namespace korvel {

std::string shortenPath(std::string_view path, std::size_t maxChars) {
    if (path.size() <= maxChars) return std::string(path);

    std::vector<std::size_t> lengths;
    for (std::size_t start = 0;;) {
        const std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            lengths.push_back(path.size() - start);
            break;
        }
        lengths.push_back(slash - start);
        start = slash + 1;
    }

    std::size_t total = 3;
    std::size_t front = 0;              // components kept from the start
    std::size_t back = lengths.size();  // the first component kept from the end
    std::size_t frontChars = 0, backChars = 0;
    auto fits = [&](std::size_t length) { return total + 1 + length <= maxChars; };
    for (std::size_t step = 0; front < back; ++step) {
        // The end first: the file name says most; then the start, then alternating.
        const bool preferEnd = step < 2 || (step >= 4 && step % 2 == 0);
        const bool endFits = fits(lengths[back - 1]);
        const bool startFits = fits(lengths[front]);
        bool takeEnd;
        if (preferEnd ? endFits : !startFits && endFits) {
            takeEnd = true;
        } else if (startFits) {
            takeEnd = false;
        } else {
            break;
        }
        if (takeEnd) {
            --back;
            total += 1 + lengths[back];
            backChars += 1 + lengths[back];
        } else {
            total += 1 + lengths[front];
            frontChars += 1 + lengths[front];
            ++front;
        }
    }
    std::string out(path.substr(0, frontChars));
    out += "...";
    out += path.substr(path.size() - backChars);
    return out;
}

}  // namespace korvel
