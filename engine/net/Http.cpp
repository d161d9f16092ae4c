#include "net/Http.h"

#include "core/Ascii.h"
#include "core/Bytes.h"
#include "core/Clock.h"
#include "files/File.h"
#include "core/Memory.h"
#include "core/Strings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
constexpr const char *kDefaultAgent = "DOZiz/1.000";
constexpr const char *kContentType = "application/x-www-form-urlencoded";
constexpr uint32_t kReceivePiece = 512;
// The blocking download's answer head must arrive within this many bytes.
constexpr uint32_t kMaxDownloadHead = 8192;
constexpr uint32_t kDownloadMagic = 0x30444C44; // "DLD0"
constexpr uint32_t kDownloadKeepOpen = 2;

struct HostRow
{
    char name[128];
    uint8_t address[4];
};

HostRow gHostCache[BZ_HTTP_HOST_CACHE_SIZE];
int32_t gHostCount;
uint32_t gDownloadTimeoutMs = BZ_HTTP_DOWNLOAD_PIECE_TIMEOUT_MS;
uint32_t gDownloadDeadlineMs = BZ_HTTP_DOWNLOAD_DEADLINE_MS;

// The parts of a URL; they point into the parser's own copy.
struct UrlParts
{
    char buffer[BZ_HTTP_MAX_URL + 16];
    const char *scheme;
    const char *host;
    const char *path;
    bool pathGiven; // false when the URL had none and the path is "index.html"
    uint16_t port;
};

bool AtOrBelowSpace(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

char HexDigit(int v)
{
    return "0123456789abcdef"[v & 15];
}

// Reads a decimal port of 1 to 65535 that fills the whole text.
bool ParsePort(const char *text, uint16_t *port)
{
    uint32_t value = 0;
    if (!*text)
        return false;
    for (; *text; ++text)
    {
        if (*text < '0' || *text > '9')
            return false;
        value = value * 10 + static_cast<uint32_t>(*text - '0');
        if (value > 65535)
            return false;
    }
    if (value == 0)
        return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

// Splits the URL into scheme, host, port and path; false when it is too long, has no host or
// carries a bad port.
bool ParseUrl(const char *url, UrlParts *parts)
{
    if (!url)
        return false;
    size_t len = std::strlen(url);
    if (len > BZ_HTTP_MAX_URL)
        return false;
    std::memcpy(parts->buffer, url, len + 1);
    char *p = parts->buffer;

    char *segment = p;
    while (*p && *p != '/' && !AtOrBelowSpace(*p))
        ++p;
    bool more = *p == '/';
    *p = 0;
    size_t segLen = std::strlen(segment);
    if (segLen > 0 && segment[segLen - 1] == ':')
    {
        for (char *s = segment; *s; ++s)
            *s = bz_AsciiLower(*s);
        parts->scheme = segment;
        if (more)
            ++p;
        while (*p == '/')
            ++p;
        segment = p;
        while (*p && *p != '/' && !AtOrBelowSpace(*p))
            ++p;
        more = *p == '/';
        *p = 0;
    }
    else
        parts->scheme = "http:";
    parts->host = segment;
    if (more)
        ++p;
    while (*p == '/')
        ++p;
    char *path = p;
    while (*p && !AtOrBelowSpace(*p))
        ++p;
    *p = 0;
    parts->pathGiven = *path != 0;
    parts->path = parts->pathGiven ? path : "index.html";

    parts->port = 80;
    char *colon = std::strchr(segment, ':');
    if (colon)
    {
        *colon = 0;
        if (!ParsePort(colon + 1, &parts->port))
            return false;
    }
    return *parts->host != 0 && std::strlen(parts->host) < sizeof gHostCache[0].name;
}

const HostRow *FindCachedHost(const char *host)
{
    for (int32_t i = 0; i < gHostCount; ++i)
        if (bz_AsciiEqualNoCase(gHostCache[i].name, host))
            return &gHostCache[i];
    return nullptr;
}

// A host beginning with a digit is a dotted address; other names go to the cache, then to the
// system's look-up. A host that resolves nowhere fails: nothing is sent anywhere else.
bool ResolveHost(const char *host, uint8_t address[4])
{
    if (host[0] >= '0' && host[0] <= '9')
        return PDSocket_ParseDotted(host, address) != 0;
    if (const HostRow *row = FindCachedHost(host))
    {
        std::memcpy(address, row->address, 4);
        return true;
    }
    return PDSocket_LookupHost(host, address) != 0;
}

bool Expired(uint32_t deadline)
{
    return static_cast<int32_t>(PDGetMilliseconds() - deadline) > 0;
}

uint32_t MsLeft(uint32_t deadline)
{
    int32_t left = static_cast<int32_t>(deadline - PDGetMilliseconds());
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

bool Reserve(bzHttpText *t, uint32_t needed)
{
    if (needed < t->capacity)
        return true;
    if (needed >= 0x7FFFFFE0u)
        return false;
    uint32_t size = (needed + 1 + 31) & ~31u;
    char *block = static_cast<char *>(bz_MemAlloc(size, BZ_MEM_CLEAR));
    if (!block)
        return false;
    if (t->text)
    {
        std::memcpy(block, t->text, t->length + 1);
        bz_MemFree(t->text);
    }
    t->text = block;
    t->capacity = size;
    return true;
}

// Finds "\r\n\r\n" in the first length bytes; the offset after it, or -1.
int32_t FindHeadEnd(const char *data, uint32_t length)
{
    for (uint32_t i = 0; i + 4 <= length; ++i)
        if (data[i] == '\r' && data[i + 1] == '\n' && data[i + 2] == '\r' && data[i + 3] == '\n')
            return static_cast<int32_t>(i + 4);
    return -1;
}

// Checks the status line "HTTP/<version> 200 <reason>\r" within the first length bytes.
bool StatusIs200(const char *data, uint32_t length)
{
    if (length < 5 || std::memcmp(data, "HTTP/", 5) != 0)
        return false;
    uint32_t i = 5;
    while (i < length && data[i] != ' ' && data[i] != '\r' && data[i] != '\n')
        ++i;
    if (i >= length || data[i] != ' ' || i == 5)
        return false;
    ++i;
    uint32_t code = i;
    while (i < length && data[i] != ' ' && data[i] != '\r' && data[i] != '\n')
        ++i;
    if (i >= length || data[i] != ' ' || i - code != 3 || std::memcmp(data + code, "200", 3) != 0)
        return false;
    while (i < length && data[i] != '\r' && data[i] != '\n')
        ++i;
    return i < length && data[i] == '\r';
}

// Checks a complete answer and copies its body's form line (up to its first CR LF) into a new
// text. The line stays encoded: fields are split off before they are decoded.
int32_t ParseResponse(const char *data, uint32_t length, bzHttpText **out)
{
    *out = nullptr;
    if (!StatusIs200(data, length))
        return BZ_HTTP_BAD_RESPONSE;
    int32_t start = FindHeadEnd(data, length);
    if (start < 0)
        return BZ_HTTP_BAD_RESPONSE;
    bzHttpText *body = bz_HttpText_New();
    if (!body)
        return BZ_HTTP_NO_MEMORY;
    uint32_t end = static_cast<uint32_t>(start);
    while (end < length && !(data[end] == '\r' && end + 1 < length && data[end + 1] == '\n'))
        ++end;
    if (bz_HttpText_Append(body, data + start, end - static_cast<uint32_t>(start)) != BZ_HTTP_OK)
    {
        bz_HttpText_Free(body);
        return BZ_HTTP_NO_MEMORY;
    }
    *out = body;
    return BZ_HTTP_OK;
}

// The URL-decoded character at text[*i] (text ending at end): "+" is a space, "%" and two
// hexadecimal digits that byte (*i moves past them), anything else itself.
char DecodedAt(const char *text, uint32_t *i, uint32_t end)
{
    const char c = text[*i];
    if (c == '+')
        return ' ';
    if (c == '%' && *i + 2 < end && bz_AsciiHexValue(text[*i + 1]) >= 0 &&
        bz_AsciiHexValue(text[*i + 2]) >= 0)
    {
        *i += 2;
        return static_cast<char>(bz_AsciiHexValue(text[*i - 1]) * 16 + bz_AsciiHexValue(text[*i]));
    }
    return c;
}

// Whether the encoded bytes [from, end) of text decode to the nameLength bytes of name.
bool DecodesTo(const char *text, uint32_t from, uint32_t end, const char *name, uint32_t nameLength)
{
    uint32_t n = 0;
    for (uint32_t i = from; i < end; ++i, ++n)
        if (n >= nameLength || DecodedAt(text, &i, end) != name[n])
            return false;
    return n == nameLength;
}

// Decodes the encoded bytes [from, end) of text into out (which holds end - from bytes);
// gives the decoded length.
uint32_t DecodeInto(const char *text, uint32_t from, uint32_t end, char *out)
{
    uint32_t n = 0;
    for (uint32_t i = from; i < end; ++i)
        out[n++] = DecodedAt(text, &i, end);
    return n;
}

bool IsLetterText(const char *data, uint32_t length)
{
    if (length % 2 != 0)
        return false;
    for (uint32_t i = 0; i < length; ++i)
        if (data[i] < 'a' || data[i] > 'p')
            return false;
    return true;
}

// Decodes letter pairs of text until the terminator, an odd last letter or a foreign
// character; the number of bytes written to out (which holds at least strlen(text) / 2).
uint32_t DecodeLetters(const char *text, uint8_t *out)
{
    uint32_t n = 0;
    for (const char *p = text; p[0] >= 'a' && p[0] <= 'p' && p[1] >= 'a' && p[1] <= 'p'; p += 2)
        out[n++] = static_cast<uint8_t>(((p[0] - 'a') << 4) | (p[1] - 'a'));
    return n;
}

// The user-agent line: the agent, the system words and the program's build date with "_" for
// spaces. The date is the program's, not the compiler's, so every build sends the same bytes.
int32_t WriteUserAgent(bzHttpText *header, const char *agent)
{
    char date[32];
    std::snprintf(date, sizeof date, "%s", bz_GetBuildDate());
    for (char *c = date; *c; ++c)
        if (*c == ' ')
            *c = '_';
    return bz_HttpText_Printf(header, "User-Agent: %s ( Windows; NT; %s; )\r\n",
                              agent ? agent : kDefaultAgent, date);
}

void CloseSocket(bzHttpRequest *request)
{
    if (request->socket)
        PDSocket_Close(request->socket);
    request->socket = 0;
}

// Sends everything before the deadline; false on failure or time-out.
bool SendAll(PDSocket socket, const char *data, uint32_t length, uint32_t deadline)
{
    uint32_t done = 0;
    while (done < length)
    {
        int32_t n = PDSocket_Send(socket, data + done, length - done);
        if (n < 0)
            return false;
        done += static_cast<uint32_t>(n);
        if (done < length)
        {
            if (Expired(deadline))
                return false;
            PDSocket_WaitWritable(socket, MsLeft(deadline) < 50 ? MsLeft(deadline) : 50);
        }
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

constexpr int64_t kNoLength = -1;
constexpr int64_t kBadLength = -2;

// The length the head (its first length bytes) announces. Only a header line named
// "Content-Length" counts: the name whole, in any case, at the start of a line after the
// status line and right before its ":"; the value is decimal digits alone, blanks around
// them allowed. kNoLength when there is none; kBadLength when a value is anything else
// (a sign, letters, nothing) or two such lines disagree. Values past 32 bits stay at 2^32.
int64_t ContentLength(const char *head, uint32_t length)
{
    static const char kName[] = "content-length";
    const uint32_t nameLen = sizeof kName - 1;
    int64_t found = kNoLength;
    for (uint32_t i = 0; i + 1 < length; ++i)
    {
        if (head[i] != '\r' || head[i + 1] != '\n')
            continue;
        uint32_t p = i + 2;
        uint32_t k = 0;
        while (k < nameLen && p + k < length && bz_AsciiLower(head[p + k]) == kName[k])
            ++k;
        if (k < nameLen || p + k >= length || head[p + k] != ':')
            continue;
        p += nameLen + 1;
        while (p < length && IsBlank(head[p]))
            ++p;
        int64_t value = 0;
        uint32_t digits = 0;
        for (; p < length && head[p] >= '0' && head[p] <= '9'; ++p, ++digits)
            if (value <= 0xFFFFFFFFll)
                value = value * 10 + (head[p] - '0');
        if (value > 0xFFFFFFFFll)
            value = 0x100000000ll;
        while (p < length && IsBlank(head[p]))
            ++p;
        if (digits == 0 || p >= length || head[p] != '\r')
            return kBadLength;
        if (found != kNoLength && found != value)
            return kBadLength;
        found = value;
    }
    return found;
}

struct Download
{
    bzFileHandle *file;
    uint32_t dataOffset;
    uint32_t expected;
    uint32_t written;
};

// Creates the download file: the header and the names, the data area to follow as the data
// arrives (nothing is set aside for an announced size before any of it came); then keeps
// the file open for the writes. False, and no file left, when it cannot be made.
bool CreateDownloadFile(Download *d, const char *dldName, const char *fileName, const char *url,
                        uint32_t expected)
{
    uint32_t lenFinal = static_cast<uint32_t>(std::strlen(fileName));
    uint32_t lenDld = static_cast<uint32_t>(std::strlen(dldName));
    uint32_t lenUrl = static_cast<uint32_t>(std::strlen(url));
    bzFileHandle *f = bz_FileOpen(dldName, "wb");
    if (!f)
        return false;
    uint8_t head[32];
    bz_PutU32LE(head + 0, kDownloadMagic);
    bz_PutU32LE(head + 4, 1);
    bz_PutU32LE(head + 8, expected);
    bz_PutU32LE(head + 12, 0);
    bz_PutU32LE(head + 16, kDownloadKeepOpen);
    bz_PutU32LE(head + 20, lenFinal);
    bz_PutU32LE(head + 24, lenDld);
    bz_PutU32LE(head + 28, lenUrl);
    bool ok = bz_FileWrite(f, head, 32) == 32 &&
              bz_FileWrite(f, fileName, lenFinal + 1) == lenFinal + 1 &&
              bz_FileWrite(f, dldName, lenDld + 1) == lenDld + 1 &&
              bz_FileWrite(f, url, lenUrl + 1) == lenUrl + 1;
    if (bz_FileClose(f) != 0)
        ok = false;
    d->file = ok ? bz_FileOpen(dldName, "r+b") : nullptr;
    d->dataOffset = 35 + lenFinal + lenDld + lenUrl;
    d->expected = expected;
    d->written = 0;
    if (!d->file)
        bz_FileRemove(dldName);
    return d->file != nullptr;
}

// Writes the next piece, never past the expected size; false when a write fails.
bool WritePiece(Download *d, const char *data, uint32_t length)
{
    uint32_t room = d->expected - d->written;
    if (length > room)
        length = room;
    if (length == 0)
        return true;
    if (bz_FileSeek(d->file, static_cast<int32_t>(d->dataOffset + d->written), SEEK_SET) != 0 ||
        bz_FileWrite(d->file, data, length) != length)
        return false;
    d->written += length;
    uint8_t word[4];
    bz_PutU32LE(word, d->written);
    // Flushed at once, so that the file on disk always tells how far the download came.
    return bz_FileSeek(d->file, 12, SEEK_SET) == 0 && bz_FileWrite(d->file, word, 4) == 4 &&
           bz_FileFlush(d->file) == 0;
}

// Waits for the next piece of the answer, at most the piece time-out and never past the
// download's deadline; true when data (or the end of the connection) is there to receive.
bool WaitForPiece(PDSocket socket, uint32_t deadline)
{
    const uint32_t left = MsLeft(deadline);
    if (left == 0)
        return false;
    return PDSocket_WaitReadable(socket, left < gDownloadTimeoutMs ? left : gDownloadTimeoutMs) ==
           1;
}

// Connects to the URL's host and sends the GET request of its path; the socket, or 0.
PDSocket SendDownloadRequest(const UrlParts &parts, uint32_t deadline)
{
    uint8_t address[4];
    if (!(PDSocket_ParseDotted(parts.host, address) || PDSocket_LookupHost(parts.host, address)))
        return 0;
    PDSocket socket = PDSocket_Create();
    if (!socket)
        return 0;
    char request[BZ_HTTP_MAX_URL + 32];
    const int length =
        std::snprintf(request, sizeof request, "GET /%s HTTP/1.0\r\n\r\n", parts.path);
    const uint32_t connectMs = MsLeft(deadline) < BZ_HTTP_CONNECT_TIMEOUT_MS
                                   ? MsLeft(deadline)
                                   : BZ_HTTP_CONNECT_TIMEOUT_MS;
    const uint32_t sendBy =
        MsLeft(deadline) < gDownloadTimeoutMs ? deadline : PDGetMilliseconds() + gDownloadTimeoutMs;
    if (length <= 0 || length >= static_cast<int>(sizeof request) ||
        PDSocket_Connect(socket, address, parts.port, connectMs) != PD_CONNECT_OK ||
        !SendAll(socket, request, static_cast<uint32_t>(length), sendBy))
    {
        PDSocket_Close(socket);
        return 0;
    }
    return socket;
}

// Receives the answer's head, whole, into buffer (kMaxDownloadHead bytes at most): true with
// *have bytes received and *headEnd the offset just past its blank line. The bytes after the
// head are the start of the body.
bool ReadHead(PDSocket socket, uint32_t deadline, char *buffer, uint32_t *have, uint32_t *headEnd)
{
    *have = 0;
    int32_t end = -1;
    while (end < 0 && *have < kMaxDownloadHead)
    {
        if (!WaitForPiece(socket, deadline))
            return false;
        int32_t n = PDSocket_Receive(socket, buffer + *have, kMaxDownloadHead - *have);
        if (n < 0)
            return false;
        *have += static_cast<uint32_t>(n);
        end = FindHeadEnd(buffer, *have);
    }
    if (end < 0)
        return false;
    *headEnd = static_cast<uint32_t>(end);
    return true;
}

// Receives the rest of the body into the download file, piece by piece as it arrives, until
// the announced size is written, the connection ends, a write fails or a wait runs out.
void ReadBody(PDSocket socket, uint32_t deadline, Download *d, char *piece)
{
    while (d->written < d->expected)
    {
        if (!WaitForPiece(socket, deadline))
            return;
        int32_t n = PDSocket_Receive(socket, piece, kReceivePiece);
        if (n < 0 || !WritePiece(d, piece, static_cast<uint32_t>(n)))
            return;
    }
}
} // namespace

bzHttpText *bz_HttpText_New()
{
    auto *t = static_cast<bzHttpText *>(bz_MemAlloc(sizeof(bzHttpText), BZ_MEM_CLEAR));
    if (!t)
        return nullptr;
    t->text = static_cast<char *>(bz_MemAlloc(32, BZ_MEM_CLEAR));
    if (!t->text)
    {
        bz_MemFree(t);
        return nullptr;
    }
    t->capacity = 32;
    t->length = 0;
    return t;
}

void bz_HttpText_Free(bzHttpText *text)
{
    if (!text)
        return;
    bz_MemFree(text->text);
    bz_MemFree(text);
}

int32_t bz_HttpText_Append(bzHttpText *text, const void *data, uint32_t length)
{
    if (length > 0x7FFFFFE0u - text->length || !Reserve(text, text->length + length))
        return BZ_HTTP_NO_MEMORY;
    if (length)
        std::memcpy(text->text + text->length, data, length);
    text->length += length;
    text->text[text->length] = 0;
    return BZ_HTTP_OK;
}

int32_t bz_HttpText_Printf(bzHttpText *text, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0 || !Reserve(text, text->length + static_cast<uint32_t>(n)))
    {
        va_end(args);
        return BZ_HTTP_NO_MEMORY;
    }
    std::vsnprintf(text->text + text->length, static_cast<size_t>(n) + 1, format, args);
    va_end(args);
    text->length += static_cast<uint32_t>(n);
    return BZ_HTTP_OK;
}

void bz_HttpText_Clear(bzHttpText *text)
{
    text->length = 0;
    text->text[0] = 0;
}

bzHttpText *bz_Http_UrlEncode(const void *data, uint32_t length)
{
    bzHttpText *t = bz_HttpText_New();
    if (!t || (length > 0 && !Reserve(t, length * 3)))
    {
        bz_HttpText_Free(t);
        return nullptr;
    }
    const auto *bytes = static_cast<const uint8_t *>(data);
    char *out = t->text;
    for (uint32_t i = 0; i < length; ++i)
    {
        uint8_t c = bytes[i];
        if (bz_AsciiIsAlnum(c))
            *out++ = static_cast<char>(c);
        else if (c == ' ')
            *out++ = '+';
        else
        {
            *out++ = '%';
            *out++ = HexDigit(c >> 4);
            *out++ = HexDigit(c);
        }
    }
    *out = 0;
    t->length = static_cast<uint32_t>(out - t->text);
    return t;
}

bzHttpText *bz_EncodeNibbleText(const void *data, uint32_t length)
{
    bzHttpText *t = bz_HttpText_New();
    if (!t || (length > 0 && !Reserve(t, length * 2)))
    {
        bz_HttpText_Free(t);
        return nullptr;
    }
    const auto *bytes = static_cast<const uint8_t *>(data);
    for (uint32_t i = 0; i < length; ++i)
    {
        t->text[2 * i] = static_cast<char>('a' + (bytes[i] >> 4));
        t->text[2 * i + 1] = static_cast<char>('a' + (bytes[i] & 15));
    }
    t->length = length * 2;
    t->text[t->length] = 0;
    return t;
}

bzHttpText *bz_Http_DecodeNibbleText(const char *text)
{
    bzHttpText *t = bz_HttpText_New();
    if (!t)
        return nullptr;
    uint32_t len = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
    if (!Reserve(t, len / 2))
    {
        bz_HttpText_Free(t);
        return nullptr;
    }
    t->length = text ? DecodeLetters(text, reinterpret_cast<uint8_t *>(t->text)) : 0;
    t->text[t->length] = 0;
    return t;
}

uint8_t *bz_Http_DecodeNibbleBlock(const char *text, uint32_t *length)
{
    uint32_t len = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
    auto *block = static_cast<uint8_t *>(bz_MemAlloc(len / 2 + 1, BZ_MEM_CLEAR));
    if (!block)
        return nullptr;
    uint32_t n = text ? DecodeLetters(text, block) : 0;
    if (length)
        *length = n;
    return block;
}

int32_t bz_Http_Post(const char *agent, const char *url, bzHttpRequest **out)
{
    if (!out)
        return BZ_HTTP_NO_MEMORY;
    *out = nullptr;
    UrlParts parts;
    if (!ParseUrl(url, &parts))
        return BZ_HTTP_CONNECT_FAILED;
    auto *r = static_cast<bzHttpRequest *>(bz_MemAlloc(sizeof(bzHttpRequest), BZ_MEM_CLEAR));
    if (!r)
        return BZ_HTTP_NO_MEMORY;
    r->header = bz_HttpText_New();
    r->body = bz_HttpText_New();
    r->sendBuf = bz_HttpText_New();
    size_t urlLen = std::strlen(url);
    char *urlCopy = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(urlLen + 1), 0));
    if (urlCopy)
        std::memcpy(urlCopy, url, urlLen + 1);
    r->url = urlCopy;
    if (!r->header || !r->body || !r->sendBuf || !urlCopy ||
        bz_HttpText_Printf(r->header, "POST %s%s HTTP/1.0\r\nContent-type: %s\r\n",
                           parts.path[0] == '/' ? "" : "/", parts.path,
                           kContentType) != BZ_HTTP_OK ||
        WriteUserAgent(r->header, agent) != BZ_HTTP_OK)
    {
        bz_Http_Close(r);
        return BZ_HTTP_NO_MEMORY;
    }
    *out = r;
    return BZ_HTTP_OK;
}

int32_t bz_Http_AddField(bzHttpRequest *request, const char *name, const void *value,
                         uint32_t valueLength, int32_t encoding)
{
    if (!request || !name)
        return BZ_HTTP_NO_MEMORY;
    bzHttpText *encoded = encoding == BZ_HTTP_ENCODE_URL ? bz_Http_UrlEncode(value, valueLength)
                                                         : bz_EncodeNibbleText(value, valueLength);
    if (!encoded)
        return BZ_HTTP_NO_MEMORY;
    uint32_t before = request->body->length;
    int32_t r = BZ_HTTP_OK;
    if (request->body->length > 0)
        r = bz_HttpText_Append(request->body, "&", 1);
    if (r == BZ_HTTP_OK)
        r = bz_HttpText_Append(request->body, name, static_cast<uint32_t>(std::strlen(name)));
    if (r == BZ_HTTP_OK)
        r = bz_HttpText_Append(request->body, "=", 1);
    if (r == BZ_HTTP_OK)
        r = bz_HttpText_Append(request->body, encoded->text, encoded->length);
    bz_HttpText_Free(encoded);
    if (r != BZ_HTTP_OK)
    {
        // A field that does not fit leaves the body as it was.
        request->body->length = before;
        request->body->text[before] = 0;
    }
    return r;
}

int32_t bz_Http_ConnectAndSend(bzHttpRequest *request, uint32_t timeoutMs)
{
    if (!request)
        return BZ_HTTP_NOT_SENT;
    if (request->sent)
        return BZ_HTTP_ALREADY_SENT;
    auto finish = [request](int32_t code)
    {
        request->status = code;
        return code;
    };
    if (!request->lengthAdded)
    {
        if (bz_HttpText_Printf(request->header, "Content-length: %d\r\n\r\n",
                               static_cast<int>(request->body->length)) != BZ_HTTP_OK)
            return finish(BZ_HTTP_NO_MEMORY);
        request->lengthAdded = 1;
    }
    bz_HttpText_Clear(request->sendBuf);
    if (bz_HttpText_Append(request->sendBuf, request->header->text, request->header->length) !=
            BZ_HTTP_OK ||
        bz_HttpText_Append(request->sendBuf, request->body->text, request->body->length) !=
            BZ_HTTP_OK)
        return finish(BZ_HTTP_NO_MEMORY);

    UrlParts parts;
    uint8_t address[4];
    if (!ParseUrl(request->url, &parts) || !ResolveHost(parts.host, address))
        return finish(BZ_HTTP_CONNECT_FAILED);

    CloseSocket(request); // a socket left by an earlier failed attempt
    request->socket = PDSocket_Create();
    if (!request->socket)
        return finish(BZ_HTTP_NO_CONNECTION);
    int32_t c = PDSocket_Connect(request->socket, address, parts.port, BZ_HTTP_CONNECT_TIMEOUT_MS);
    if (c != PD_CONNECT_OK)
    {
        CloseSocket(request);
        return finish(c == PD_CONNECT_TIMEOUT ? BZ_HTTP_NO_CONNECTION : BZ_HTTP_CONNECT_FAILED);
    }

    request->deadline = PDGetMilliseconds() + timeoutMs;
    uint32_t done = 0;
    const uint32_t total = request->sendBuf->length;
    for (;;)
    {
        int32_t n = PDSocket_Send(request->socket, request->sendBuf->text + done, total - done);
        if (n < 0)
            return finish(BZ_HTTP_SEND_FAILED);
        done += static_cast<uint32_t>(n);
        if (done >= total)
        {
            request->sent = 1;
            return finish(BZ_HTTP_OK);
        }
        if (Expired(request->deadline))
            return finish(BZ_HTTP_TIMEOUT);
        uint32_t left = MsLeft(request->deadline);
        PDSocket_WaitWritable(request->socket, left < 50 ? left : 50);
    }
}

int32_t bz_Http_StartResponse(bzHttpRequest *request, uint32_t timeoutMs)
{
    if (!request || !request->sent)
        return BZ_HTTP_NOT_SENT;
    if (!request->busy)
    {
        bzHttpText *fresh = bz_HttpText_New();
        if (!fresh)
            return BZ_HTTP_NO_MEMORY;
        bz_HttpText_Free(request->response);
        request->response = fresh;
        request->bodyTaken = 0;
        request->busy = 1;
        request->status = BZ_HTTP_OK;
        request->deadline = PDGetMilliseconds() + timeoutMs;
    }
    return BZ_HTTP_OK;
}

int32_t bz_Http_Poll(bzHttpRequest *request)
{
    if (!request || !request->sent)
        return BZ_HTTP_NOT_SENT;
    if (!request->busy)
        return BZ_HTTP_OK;
    auto stop = [request](int32_t code)
    {
        request->busy = 0;
        request->status = code;
        return code;
    };
    if (Expired(request->deadline))
        return stop(BZ_HTTP_TIMEOUT);
    char piece[kReceivePiece];
    int32_t n = PDSocket_Receive(request->socket, piece, sizeof piece);
    if (n == PD_SOCKET_CLOSED)
        return stop(BZ_HTTP_CLOSED);
    if (n < 0)
        return stop(BZ_HTTP_BAD_RESPONSE);
    if (n > 0)
    {
        // An answer longer than any this client expects is cut off as broken.
        if (request->response->length + static_cast<uint32_t>(n) > BZ_HTTP_MAX_RESPONSE ||
            bz_HttpText_Append(request->response, piece, static_cast<uint32_t>(n)) != BZ_HTTP_OK)
            return stop(BZ_HTTP_BAD_RESPONSE);
    }
    return BZ_HTTP_BUSY;
}

int32_t bz_Http_TakeBody(bzHttpRequest *request)
{
    if (!request || !request->sent)
        return BZ_HTTP_NOT_SENT;
    if (request->busy)
        return BZ_HTTP_BUSY;
    if (request->bodyTaken && request->status == BZ_HTTP_OK)
        return BZ_HTTP_OK;
    if ((request->status != BZ_HTTP_OK && request->status != BZ_HTTP_CLOSED) ||
        !request->response || request->response->length == 0)
    {
        request->status = BZ_HTTP_BAD_RESPONSE;
        return BZ_HTTP_BAD_RESPONSE;
    }
    bzHttpText *body = nullptr;
    int32_t r = ParseResponse(request->response->text, request->response->length, &body);
    if (r != BZ_HTTP_OK)
    {
        request->status = r;
        return r;
    }
    bz_HttpText_Free(request->response);
    request->response = body;
    request->bodyTaken = 1;
    request->status = BZ_HTTP_OK;
    return BZ_HTTP_OK;
}

int32_t bz_Http_EndResponse(bzHttpRequest *request)
{
    if (request)
        request->busy = 0;
    return bz_Http_TakeBody(request);
}

int32_t bz_Http_GetField(bzHttpRequest *request, const char *name, char **value, int32_t *length,
                         int32_t decode)
{
    if (value)
        *value = nullptr;
    if (length)
        *length = 0;
    if (!request || !request->sent)
        return BZ_HTTP_NOT_SENT;
    if (request->busy)
        return BZ_HTTP_BUSY;
    if (request->status != BZ_HTTP_OK || !request->bodyTaken || !request->response)
        return BZ_HTTP_BAD_RESPONSE;
    if (!name)
        return BZ_HTTP_NO_FIELD;
    const char *body = request->response->text;
    const uint32_t bodyLen = request->response->length;
    const uint32_t nameLen = static_cast<uint32_t>(std::strlen(name));

    // The body is pairs joined by "&", each split at its first "=", all of it still encoded:
    // the split comes first, so an encoded "&" or "=" stays inside its name or value. A field
    // matches on its whole decoded name.
    for (uint32_t start = 0; start <= bodyLen;)
    {
        uint32_t end = start;
        while (end < bodyLen && body[end] != '&')
            ++end;
        uint32_t eq = start;
        while (eq < end && body[eq] != '=')
            ++eq;
        if (!DecodesTo(body, start, eq, name, nameLen))
        {
            start = end + 1;
            continue;
        }
        const uint32_t v = eq < end ? eq + 1 : end;
        if (v == end)
            return BZ_HTTP_OK; // an empty value
        auto *out = static_cast<char *>(bz_MemAlloc(end - v + 1, BZ_MEM_CLEAR));
        if (!out)
            return BZ_HTTP_NO_MEMORY;
        uint32_t outLen = DecodeInto(body, v, end, out);
        if (decode)
        {
            if (!IsLetterText(out, outLen))
            {
                bz_MemFree(out);
                return BZ_HTTP_BAD_RESPONSE;
            }
            // In place: byte i comes from letters 2i and 2i + 1, never behind it.
            for (uint32_t i = 0; i < outLen / 2; ++i)
                out[i] = static_cast<char>(((out[2 * i] - 'a') << 4) | (out[2 * i + 1] - 'a'));
            std::memset(out + outLen / 2, 0, outLen - outLen / 2);
            outLen /= 2;
        }
        if (value)
            *value = out;
        else
            bz_MemFree(out);
        if (length)
            *length = static_cast<int32_t>(outLen);
        return BZ_HTTP_OK;
    }
    return BZ_HTTP_NO_FIELD;
}

void bz_Http_Close(bzHttpRequest *request)
{
    if (!request)
        return;
    request->busy = 0;
    CloseSocket(request);
    bz_HttpText_Free(request->header);
    bz_HttpText_Free(request->body);
    bz_HttpText_Free(request->sendBuf);
    bz_HttpText_Free(request->response);
    bz_MemFree(const_cast<char *>(request->url));
    bz_MemFree(request);
}

int32_t bz_Http_GetStatus(const bzHttpRequest *request)
{
    return request ? request->status : BZ_HTTP_NOT_SENT;
}

int32_t bz_Http_IsSent(const bzHttpRequest *request)
{
    return request ? request->sent : 0;
}

int32_t bz_Http_IsBusy(const bzHttpRequest *request)
{
    return request ? request->busy : 0;
}

int32_t bz_Http_CacheHost(const char *url)
{
    if (gHostCount >= BZ_HTTP_HOST_CACHE_SIZE)
        return BZ_HTTP_CACHE_FULL;
    UrlParts parts;
    if (!ParseUrl(url, &parts) || FindCachedHost(parts.host))
        return BZ_HTTP_CACHE_ROOM;
    uint8_t address[4];
    if (!ResolveHost(parts.host, address))
        return BZ_HTTP_CACHE_ROOM;
    HostRow &row = gHostCache[gHostCount++];
    std::snprintf(row.name, sizeof row.name, "%s", parts.host);
    std::memcpy(row.address, address, 4);
    return BZ_HTTP_CACHE_ROOM;
}

void bz_Http_SetDownloadTimeout(uint32_t milliseconds)
{
    gDownloadTimeoutMs = milliseconds;
}

void bz_Http_SetDownloadDeadline(uint32_t milliseconds)
{
    gDownloadDeadlineMs = milliseconds;
}

int32_t bz_Http_GetToFile(const char *url, const char *fileName)
{
    // An http URL with a path of its own; the file name leaves room for ".dld".
    UrlParts parts;
    if (!fileName || !*fileName || std::strlen(fileName) > 240 || !ParseUrl(url, &parts) ||
        !parts.pathGiven || std::strcmp(parts.scheme, "http:") != 0)
        return BZ_HTTP_DOWNLOAD_FAILED;
    const uint32_t deadline = PDGetMilliseconds() + gDownloadDeadlineMs;
    PDSocket socket = SendDownloadRequest(parts, deadline);
    if (!socket)
        return BZ_HTTP_DOWNLOAD_FAILED;

    int32_t result = BZ_HTTP_DOWNLOAD_FAILED;
    char *buffer = static_cast<char *>(bz_MemAlloc(kMaxDownloadHead + 1, 0));
    uint32_t have = 0, headEnd = 0;
    int64_t expected = kNoLength;
    if (buffer && ReadHead(socket, deadline, buffer, &have, &headEnd) &&
        StatusIs200(buffer, headEnd))
        expected = ContentLength(buffer, headEnd);
    char dldName[256];
    std::snprintf(dldName, sizeof dldName, "%s.%s", fileName, "dld");
    Download d = {};
    if (expected > 0 && expected <= BZ_HTTP_MAX_DOWNLOAD &&
        CreateDownloadFile(&d, dldName, fileName, url, static_cast<uint32_t>(expected)))
    {
        if (WritePiece(&d, buffer + headEnd, have - headEnd))
            ReadBody(socket, deadline, &d, buffer);
        bz_FileClose(d.file);
        // Only a whole file is kept: a body cut short leaves nothing behind.
        if (d.written == d.expected &&
            bz_CopyFileRange(dldName, fileName, static_cast<int32_t>(d.dataOffset),
                             static_cast<int32_t>(d.expected)) == 0)
            result = BZ_HTTP_DOWNLOAD_DONE;
        bz_FileRemove(dldName);
    }
    bz_MemFree(buffer);
    PDSocket_Close(socket);
    return result;
}
