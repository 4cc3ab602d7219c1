// The one gate between the wizard and the resource database "setupresDB":
// texts in the language closest to LANG, converted to the locale encoding.
#pragma once

#include <cstddef>

#include "resdb/language.h"
#include "resdb/resource.h"

// Loads "setupresDB" from the current working directory and chooses the run
// language from LANG ("ll_RR..." gives language ll and the next two or three
// characters as region; anything else gives en/US). Returns 1 on success, 0
// when the database cannot be loaded.
int stringInit();

// Unloads the database. The run language is kept; getString then answers the
// empty string until stringInit is called again.
void stringUnInit();

// Texts that answer, while the database is loaded, for every identifier it
// has no text of in the run language or a language it falls back to (a medium
// made before those texts existed): a resource database image, read on the
// first such lookup and looked up by the same language rule. The image must
// stay valid while the service runs; null forgets it.
void stringUseBuiltInTexts(const unsigned char* image, std::size_t size);

// Text of resource `id` in the multibyte encoding of the current locale, taken
// from the run language or its closest relative in the database, else from
// the built-in texts; when that text cannot be represented in the locale
// encoding, the en/US text of the same source is used instead. A text the
// database has always wins. Never null: a resource neither has gives the empty
// string. The result is one shared buffer, valid until the next call, which
// overwrites it. Initialises the service on first use.
const char* getString(const ResourceID_C& id);

// Text of resource `id` from the built-in texts alone, by the same language rule and
// in the same buffer as getString: for what is said about a medium whose own database
// must not be read. Never null; the empty string when there is no such text.
const char* getBuiltInString(const ResourceID_C& id);

// The language in which texts are looked up first.
const Language_C& stringRunLanguage();
