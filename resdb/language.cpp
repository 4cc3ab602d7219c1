#include "resdb/language.h"

#include <cstdint>
#include <cstring>

#include "resdb/coding.h"
#include "resdb/file.h"
#include "resdb/resource.h"

namespace {

// Codes of the default language, en/US, packed.
const unsigned int kEnglish = 'e' | ('n' << 8);
const unsigned int kUnitedStates = 'U' | ('S' << 8);

bool isDefault(const Language_C& lang) {
    return lang.language == kEnglish && lang.region == kUnitedStates;
}

// The characters of a packed code, up to its first NUL.
void appendPackedCode(std::string& out, unsigned int code) {
    static const char kHex[] = "0123456789abcdef";
    for (int shift = 0; shift < 32; shift += 8) {
        unsigned char c = static_cast<unsigned char>(code >> shift);
        if (c == 0)
            break;
        if (c > 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

}  // namespace

Language_C::Language_C()
    : language(kEnglish), region(kUnitedStates), variant(0), subVariant(0), fallbackLevel(0) {
    SetLang("en", "US", 0, 0);
}

Language_C::Language_C(const char* language, const char* region, unsigned int variant,
                       unsigned int subVariant)
    : language(kEnglish), region(kUnitedStates), variant(0), subVariant(0), fallbackLevel(0) {
    if (!SetLang(language, region, variant, subVariant))
        throw ResourceError(ResourceError::INVALID_LANGUAGE);
}

bool Language_C::SetLang(const char* languageCode, const char* regionCode, unsigned int variantNo,
                         unsigned int subVariantNo) {
    language = StringToU32("en");
    if (languageCode != nullptr) {
        if (std::strlen(languageCode) != 2)
            return false;
        language = StringToU32(languageCode);
    }
    region = StringToU32("US");
    if (regionCode != nullptr) {
        std::size_t length = std::strlen(regionCode);
        if (length != 2 && length != 3)
            return false;
        region = StringToU32(regionCode);
    }
    variant = variantNo;
    subVariant = subVariantNo;
    return true;
}

unsigned int Language_C::StringToU32(const char* text) const {
    unsigned int packed = 0;
    for (unsigned i = 0; i < 4 && text[i] != '\0'; ++i)
        packed |= static_cast<unsigned int>(static_cast<unsigned char>(text[i])) << (8 * i);
    return packed;
}

bool Language_C::Load(File_C* file) {
    std::uint32_t fields[4];
    for (std::uint32_t& field : fields) {
        if (!ReadFixed32(file, field))
            return false;
    }
    language = fields[0];
    region = fields[1];
    variant = fields[2];
    subVariant = fields[3];
    return true;
}

bool Language_C::Store(File_C* file) const {
    for (std::uint32_t field : {language, region, variant, subVariant}) {
        if (!WriteFixed32(file, field))
            return false;
    }
    return true;
}

std::string Language_C::Tag() const {
    std::string tag;
    appendPackedCode(tag, language);
    tag += '_';
    appendPackedCode(tag, region);
    if (variant != 0 || subVariant != 0)
        tag += "@" + std::to_string(variant) + "." + std::to_string(subVariant);
    return tag;
}

bool Language_C::operator<(const Language_C& other) const {
    if (language != other.language)
        return language < other.language;
    if (region != other.region)
        return region < other.region;
    if (variant != other.variant)
        return variant < other.variant;
    return subVariant < other.subVariant;
}

bool Language_C::operator==(const Language_C& other) const {
    return language == other.language && region == other.region && variant == other.variant &&
           subVariant == other.subVariant;
}

bool Language_C::Fallback() {
    ++fallbackLevel;
    if (fallbackLevel > 15) {
        Restore();
        return false;
    }
    // Testing only for the default language makes the region meaningless too.
    if (fallbackLevel & DEFAULT_LANGUAGE_ONLY)
        fallbackLevel |= IGNORE_REGION;
    return true;
}

void Language_C::Restore() {
    fallbackLevel = 0;
}

bool Language_C::DegradedMatch(const Language_C& other) const {
    const unsigned int relaxed = fallbackLevel | other.fallbackLevel;
    bool match = true;
    if (!(relaxed & IGNORE_SUB_VARIANT))
        match = match && subVariant == other.subVariant;
    if (!(relaxed & IGNORE_VARIANT))
        match = match && variant == other.variant;
    if (!(relaxed & IGNORE_REGION))
        match = match && region == other.region;
    if (!(relaxed & DEFAULT_LANGUAGE_ONLY))
        return match && language == other.language;
    return match && (isDefault(*this) || isDefault(other));
}
