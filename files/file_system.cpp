// Path and pattern rules shared by the disk and archive file systems. Pure functions, any thread.
#include "files/file_system.h"

#include <vector>

bool IsValidPath(std::string_view name, bool wildcardsAllowed)
{
    if (name.empty()) return false;
    if (name.find('\\') != std::string_view::npos) return false;
    if (name.back() == '/') return false;
    if (name.find("//") != std::string_view::npos) return false;
    if (name.find("..") != std::string_view::npos) return false;
    if (name.find("./") != std::string_view::npos) return false;
    size_t wildcard = name.find_first_of("*?");
    if (wildcard == std::string_view::npos) return true;
    if (!wildcardsAllowed) return false;
    size_t slash = name.rfind('/');
    return slash == std::string_view::npos || wildcard > slash;
}

// Length of the control character at name[k], 0 when there is none.
static size_t ControlLength(std::string_view name, size_t k)
{
    uint8_t c = uint8_t(name[k]);
    if (c < 0x20 || c == 0x7F) return 1;
    if (c == 0xC2 && k + 1 < name.size() && uint8_t(name[k + 1]) >= 0x80 && uint8_t(name[k + 1]) <= 0x9F) return 2;
    return 0;
}

bool HasControlCharacters(std::string_view name)
{
    for (size_t k = 0; k < name.size(); k++)
        if (ControlLength(name, k)) return true;
    return false;
}

std::string PrintableName(std::string_view name)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t k = 0; k < name.size(); k++) {
        size_t n = ControlLength(name, k);
        if (n == 0) {
            out += name[k];
            continue;
        }
        for (size_t i = k; i < k + n; i++) {
            uint8_t c = uint8_t(name[i]);
            out += {'\\', 'x', digits[c >> 4], digits[c & 15]};
        }
        k += n - 1;
    }
    return out;
}

std::string ParentPath(std::string_view name)
{
    size_t slash = name.rfind('/');
    if (slash == std::string_view::npos) return std::string();
    return std::string(name.substr(0, slash + 1));
}

bool MatchPattern(std::string_view name, std::string_view pattern)
{
    if (pattern.empty()) return false;
    if (pattern == "*.*" || pattern == ".") return true;
    size_t end = pattern.find_last_not_of('.');
    std::string_view shortened = end == std::string_view::npos ? std::string_view() : pattern.substr(0, end + 1);
    if (shortened.size() != pattern.size() && name.find('.') != std::string_view::npos) return false;
    return WildcardMatch(name, shortened);
}

// Walks the pattern once, keeping the set of name offsets reachable so far, so a pattern full
// of "*" costs name length times pattern length rather than exponential backtracking. A "*"
// may only be entered with at least one name character left; as the last pattern character it
// takes the rest of the name, elsewhere it skips zero or more characters but never the last.
bool WildcardMatch(std::string_view name, std::string_view pattern)
{
    const size_t n = name.size();
    std::vector<uint8_t> reach(n + 1, 0), next(n + 1, 0);
    reach[0] = 1;
    for (size_t j = 0; j < pattern.size(); j++) {
        char p = pattern[j];
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        if (p == '*') {
            if (j + 1 == pattern.size()) {
                for (size_t i = 0; i < n; i++)
                    if (reach[i]) return true;
                return false;
            }
            bool open = false;
            for (size_t i = 0; i < n; i++) {
                open = open || reach[i];
                if (open) next[i] = 1, any = true;
            }
        } else {
            for (size_t i = 0; i < n; i++) {
                if (reach[i] && (p == '?' || name[i] == p)) next[i + 1] = 1, any = true;
            }
        }
        if (!any) return false;
        reach.swap(next);
    }
    return reach[n] != 0;
}
