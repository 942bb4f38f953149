#pragma once

#include <QByteArray>
#include <QString>

// What an entry may be called, one set of rules for every operation that gives
// an entry its name (a file import, an import from another archive, a rename),
// and the one ASCII case fold by which names are compared.

// Why a name is refused, in the order the rules are tried.
enum class EntryNameFault {
    None,
    TooLong, // more than MAX_ENTRY_NAME_BYTES bytes of UTF-8
    Empty,
    NotUtf8,   // not well-formed UTF-8
    ZeroByte,  // would end the stored name early
    Separator, // '/' or '\': a path, not a name
    DotName,   // "." or "..": no file of its own
};

// The first rule the UTF-8 bytes of a name break, or None.
EntryNameFault CheckEntryName(const QByteArray &utf8Name);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(const char *bytes, int length);

// The ASCII case fold of names: 'a' to 'z' become 'A' to 'Z', every other byte
// or UTF-16 unit stays. Names that fold alike are the same name.
constexpr char16_t FoldAsciiCase(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
}
inline uchar FoldAsciiCase(uchar c)
{
    return uchar(FoldAsciiCase(char16_t(c)));
}
QByteArray FoldedAsciiCase(QByteArray name);
QString FoldedAsciiCase(QString name);
