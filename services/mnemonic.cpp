#include "services/mnemonic.h"

#include <cctype>
#include <cwchar>

namespace {

// Whether `label` holds an access key in parentheses, "(_N)", at `at`.
bool accessKeyInParentheses(const std::string& label, std::size_t at) {
    return label.compare(at, 2, "(_") == 0 && at + 3 < label.size() &&
           std::isalnum(static_cast<unsigned char>(label[at + 2])) && label[at + 3] == ')';
}

}  // namespace

std::string withoutMnemonics(const std::string& label) {
    if (label.find('_') == std::string::npos)
        return label;
    std::string shown;
    std::mbstate_t state{};
    bool marked = false;
    for (std::size_t at = 0; at < label.size();) {
        std::size_t length = std::mbrlen(label.data() + at, label.size() - at, &state);
        if (length == 0 || length > label.size() - at) {
            // A byte that starts no character of the locale encoding stands for itself.
            length = 1;
            state = std::mbstate_t{};
        }
        if (length == 1 && !marked && accessKeyInParentheses(label, at)) {
            length = 4;
        } else if (length == 1 && label[at] == '_' && !marked) {
            marked = true;
        } else {
            shown.append(label, at, length);
            marked = false;
        }
        at += length;
    }
    return shown;
}
