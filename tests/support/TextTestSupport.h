// Helpers of the text reader tests: readers over given text, plain or enciphered.
#pragma once

#include "files/Cipher.h"
#include "files/File.h"
#include "text/Text.h"
#include "files/Wad.h"

#include "support/TestSupport.h"

#include <string>
#include <vector>

inline const std::vector<uint8_t> &TestKey()
{
    static const std::vector<uint8_t> key = {'t', 'o', 'l', 'v', 'a', 'n', 'e', 0x00, 0x9c, 0x41};
    return key;
}

inline std::string Encipher(const std::string &plain)
{
    std::string out(plain.size(), '\0');
    const std::vector<uint8_t> &key = TestKey();
    bz_CipherBytes((uint8_t *)out.data(), 0, key.data(), (int32_t)key.size(),
                   (const uint8_t *)plain.data(), (int32_t)plain.size(), nullptr);
    return out;
}

// A reader over text written to name in the current directory; enciphered readers come from a
// handle marked enciphered, as the archive layer gives them, with the test key installed.
inline bzTextReader *ReaderOver(const std::string &text, bool enciphered = false,
                                const std::string &name = "T.TXT")
{
    if (!enciphered)
    {
        WriteWholeFile(name, text);
        return bz_Script_Load(name.c_str());
    }
    WriteWholeFile(name, Encipher(text));
    bz_WAD_SetKey(TestKey().data(), (uint32_t)TestKey().size());
    bzFileHandle *file = bz_FileOpen(name.c_str(), "rb");
    if (!file)
        return nullptr;
    file->enciphered = 1;
    bzTextReader *reader = bz_Text_FromFile(file);
    bz_FileClose(file);
    return reader;
}

// Every line bz_Text_ReadLine gives until the data ends ("<null>" for an empty one).
inline std::vector<std::string> AllLines(bzTextReader *reader)
{
    std::vector<std::string> lines;
    while (bz_Text_GetPos(reader) < reader->size && lines.size() < 100000)
    {
        const char *line = bz_Text_ReadLine(reader);
        lines.push_back(line ? line : "<null>");
        if (!line && bz_Text_GetPos(reader) < reader->size && bz_Text_LineLength(reader) >= 255)
            break;
    }
    return lines;
}
