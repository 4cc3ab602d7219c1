// The one gate between the wizard and the resource database "setupresDB":
// texts in the language closest to LANG, converted to the locale encoding.
#pragma once

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

// Text of resource `id` in the multibyte encoding of the current locale, taken
// from the run language or its closest relative in the database; when that
// text cannot be represented in the locale encoding, the en/US text is used
// instead. Never null: a missing resource gives the empty string. The result
// is one shared buffer, valid until the next call, which overwrites it.
// Initialises the service on first use.
const char* getString(const ResourceID_C& id);

// The language in which texts are looked up first.
const Language_C& stringRunLanguage();
