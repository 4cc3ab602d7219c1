#include "services/switches.h"

#include <cctype>
#include <cstring>

#include "services/setting_ids.h"
#include "services/string_service.h"

namespace {

// A switch text is compared as at most 31 characters: a longer text is cut
// and so never equals a recognised value.
struct SwitchText {
    char text[32];
};

SwitchText readSwitch(unsigned int id) {
    SwitchText value;
    std::strncpy(value.text, getString(id), sizeof value.text - 1);
    value.text[sizeof value.text - 1] = '\0';
    return value;
}

}  // namespace

void toUpper(char* text) {
    if (text == nullptr)
        return;
    for (; *text != '\0'; ++text) {
        *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
    }
}

int getAutoSelectOemConfig() {
    SwitchText value = readSwitch(AutoSetupTypeId);
    toUpper(value.text);
    if (std::strcmp(value.text, "TYPICAL") == 0)
        return 1;
    if (std::strcmp(value.text, "COMPACT") == 0)
        return 2;
    return 0;
}

int getShowLicenseOption() {
    SwitchText value = readSwitch(ShowLicenseId);
    toUpper(value.text);
    if (std::strcmp(value.text, "ENABLED") == 0)
        return 1;
    if (std::strcmp(value.text, "DISABLED") == 0)
        return 0;
    return 1;
}

int getWantsSnmpUnderTypicalOption() {
    SwitchText value = readSwitch(SnmpUnderTypicalId);
    return std::strcmp(value.text, "yes") == 0 ? 0 : 1;
}
