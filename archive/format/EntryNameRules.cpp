#include "archive/format/EntryNameRules.h"

#include "archive/format/IMGFormat.h"

EntryNameFault CheckEntryName(const QByteArray &utf8Name)
{
    if (utf8Name.size() > MAX_ENTRY_NAME_BYTES)
        return EntryNameFault::TooLong;
    if (utf8Name.isEmpty())
        return EntryNameFault::Empty;
    if (!IsValidUtf8(utf8Name.constData(), utf8Name.size()))
        return EntryNameFault::NotUtf8;
    if (utf8Name.contains('\0'))
        return EntryNameFault::ZeroByte;
    if (utf8Name.contains('/') || utf8Name.contains('\\'))
        return EntryNameFault::Separator;
    if (utf8Name == "." || utf8Name == "..")
        return EntryNameFault::DotName;
    return EntryNameFault::None;
}

bool IsValidUtf8(const char *bytes, int length)
{
    const auto *u = reinterpret_cast<const uchar *>(bytes);
    for (int i = 0; i < length;) {
        const uchar lead = u[i];
        int more = 0;
        quint32 cp = 0;
        quint32 least = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            more = 1;
            cp = lead & 0x1F;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2;
            cp = lead & 0x0F;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3;
            cp = lead & 0x07;
            least = 0x10000;
        } else {
            return false;
        }
        if (i + more >= length)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((u[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (u[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

QByteArray FoldedAsciiCase(QByteArray name)
{
    for (char &c : name)
        c = char(FoldAsciiCase(uchar(c)));
    return name;
}

QString FoldedAsciiCase(QString name)
{
    for (QChar &c : name)
        c = QChar(FoldAsciiCase(char16_t(c.unicode())));
    return name;
}
