// Small value types of the resource database: the resource identifier, the
// resource value, the byte-order conversion and the subsystem's exception.
#ifndef STAGE3_RESDB_RESOURCE_H
#define STAGE3_RESDB_RESOURCE_H

#include <cstddef>
#include <string>

class File_C;

// Converts between file byte order (little-endian) and host byte order; the
// same call serves both directions. The host order is found out at run time.
unsigned int ToHostByteOrder(unsigned int value);
unsigned long long ToHostByteOrder(unsigned long long value);

// Thrown by value by the database lookups and by Language_C's string constructor.
class ResourceError {
  public:
    enum { RESOURCE_NOT_FOUND = 1, LANGUAGE_NOT_FOUND = 2, INVALID_LANGUAGE = 4 };

    explicit ResourceError(int code) : code(code) {}
    int Code() const { return code; }

    int code;
};

// Key of a resource. Converts implicitly from and to unsigned int; maps order
// identifiers as unsigned 32-bit numbers.
class ResourceID_C {
  public:
    constexpr ResourceID_C(unsigned int value = 0) : id(value) {}
    constexpr operator unsigned int() const { return id; }

    // One 4-byte record. A short read leaves id unchanged and returns false.
    bool Load(File_C* file);
    // True exactly when all 4 bytes were written.
    bool Store(File_C* file) const;

    unsigned int id;
};

// Value of a resource: a byte string of explicit length (NUL bytes allowed).
class LangRes_C {
  public:
    LangRes_C();
    LangRes_C(const LangRes_C& other);
    explicit LangRes_C(const std::string& bytes);
    ~LangRes_C();
    LangRes_C& operator=(const LangRes_C& other);
    // Takes the bytes before the first NUL; null gives an empty value.
    LangRes_C& operator=(const char* text);

    // The value's bytes, with their exact length.
    const std::string& Data() const { return data; }
    std::size_t Size() const { return data.size(); }
    void SetData(const std::string& bytes) { data = bytes; }

    // One value record: a 4-byte length L, then L bytes. On failure the value
    // is empty and the result false. The one-argument form measures how many
    // bytes the file holds after the current position; the two-argument form
    // is told: a length reaching past `remaining` fails without allocating.
    bool Load(File_C* file);
    bool Load(File_C* file, unsigned long long remaining);
    bool Store(File_C* file) const;

  private:
    std::string data;
};

#endif
