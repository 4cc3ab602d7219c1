// Language identifiers of the resource database, their order and the stepwise
// loosening of their comparison used by the closest-language search.
#ifndef STAGE3_RESDB_LANGUAGE_H
#define STAGE3_RESDB_LANGUAGE_H

#include <string>

class File_C;

class Language_C {
  public:
    // en/US, 0, 0.
    Language_C();
    // Throws ResourceError(INVALID_LANGUAGE) when SetLang refuses the codes.
    Language_C(const char* language, const char* region, unsigned int variant,
               unsigned int subVariant);

    // Null language gives "en", null region "US". A language code whose length
    // is not 2, or a region code whose length is not 2 or 3, returns false with
    // the fields set so far kept.
    bool SetLang(const char* language, const char* region, unsigned int variant,
                 unsigned int subVariant);
    // Packs up to four characters, the first into the least significant byte.
    unsigned int StringToU32(const char* text) const;

    // The 16-byte language record: language, region, variant, subVariant.
    // A short read returns false and leaves the object unchanged.
    bool Load(File_C* file);
    bool Store(File_C* file) const;

    // "de_DE" for messages and file names. A blank, a backslash or a byte
    // outside printable ASCII shows as \xHH; non-zero variant numbers are
    // appended as "@variant.subVariant".
    std::string Tag() const;

    // Both ignore fallbackLevel.
    bool operator<(const Language_C& other) const;
    bool operator==(const Language_C& other) const;
    bool operator!=(const Language_C& other) const { return !(*this == other); }

    // Next degradation step: levels 1..7, 12..15; false (and level 0) after 15.
    bool Fallback();
    void Restore();
    // Comparison relaxed by the degradation bits of either side.
    bool DegradedMatch(const Language_C& other) const;

    // Degradation bits of fallbackLevel.
    enum {
        IGNORE_SUB_VARIANT = 1,
        IGNORE_VARIANT = 2,
        IGNORE_REGION = 4,
        DEFAULT_LANGUAGE_ONLY = 8
    };

    unsigned int language;
    unsigned int region;
    unsigned int variant;
    unsigned int subVariant;
    unsigned int fallbackLevel;
};

#endif
