// The programs' own texts: a resource database image of every text with an
// identifier of 2000 and up (not the settings 5001 to 5004), in every language
// of medium/po, made from those PO files at build time. The string service
// answers from it what a medium's database lacks, as a database made before
// these texts existed does.
#pragma once

#include <cstddef>

extern const unsigned char BuiltInTexts[];
extern const std::size_t BuiltInTextsSize;
