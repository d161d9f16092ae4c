// A small HTTP/1.0 client: a form is posted without stopping the frame loop (built in memory,
// sent in one go with a time-out, the answer collected by a poll once a frame) and single
// fields are read from the form-encoded answer. Beside it stand a blocking GET into a
// download file, a small host-name cache and the text routines the client is built from.
#pragma once

#include "pc/PcSocket.h"

#include <cstdint>

// Result codes, returned and kept in the request's status.
enum : int32_t
{
    BZ_HTTP_OK = 0,
    BZ_HTTP_TIMEOUT = 1,
    BZ_HTTP_NO_MEMORY = 2,
    BZ_HTTP_NO_NETWORK = 3,    // the network layer did not start
    BZ_HTTP_NO_CONNECTION = 4, // no socket, or the connection did not complete in 10 s
    BZ_HTTP_CONNECT_FAILED = 5,
    BZ_HTTP_SEND_FAILED = 6,
    BZ_HTTP_BAD_RESPONSE = 7, // receive failed, not a 200 answer, or no blank line
    BZ_HTTP_CLOSED = 8,       // the server closed the connection: the response is complete
    BZ_HTTP_BUSY = 9,
    BZ_HTTP_NO_FIELD = 10,
    BZ_HTTP_ALREADY_SENT = 11,
    BZ_HTTP_NOT_SENT = 12,
};

// Results of bz_Http_CacheHost.
enum : int32_t
{
    BZ_HTTP_CACHE_ROOM = 0, // added, known already, or not resolved: the cache has room
    BZ_HTTP_CACHE_FULL = 1,
};

// Results of bz_Http_GetToFile.
enum : int32_t
{
    BZ_HTTP_DOWNLOAD_FAILED = 0,
    BZ_HTTP_DOWNLOAD_DONE = 1, // the whole file arrived and was written
};

// Field encodings of bz_Http_AddField.
enum : int32_t
{
    BZ_HTTP_ENCODE_LETTERS = 0,
    BZ_HTTP_ENCODE_URL = 1,
};

// The most a response may hold; a longer one ends the wait with BZ_HTTP_BAD_RESPONSE.
constexpr uint32_t BZ_HTTP_MAX_RESPONSE = 64 * 1024;
// The largest file the blocking download accepts.
constexpr uint32_t BZ_HTTP_MAX_DOWNLOAD = 16 * 1024 * 1024;
// The longest URL the client parses.
constexpr uint32_t BZ_HTTP_MAX_URL = 1024;
constexpr int32_t BZ_HTTP_HOST_CACHE_SIZE = 10;
constexpr uint32_t BZ_HTTP_CONNECT_TIMEOUT_MS = 10000;
// How long the blocking download waits for each piece, and may take in all, by default.
constexpr uint32_t BZ_HTTP_DOWNLOAD_PIECE_TIMEOUT_MS = 10000;
constexpr uint32_t BZ_HTTP_DOWNLOAD_DEADLINE_MS = 120000;

// A growing text: always terminated, capacity a multiple of 32 bytes.
struct bzHttpText
{
    char *text;
    uint32_t capacity;
    uint32_t length;
};

struct bzHttpRequest
{
    PDSocket socket;     // 0 before the send
    uint32_t deadline;   // engine-clock milliseconds after which the send or wait gives up
    int32_t sent;        // 1 once the request was sent whole
    int32_t busy;        // 1 while a response is awaited
    int32_t status;      // the last result code
    const char *url;     // the request's own copy of the URL
    bzHttpText *header;  // request line and header lines
    bzHttpText *body;    // the form fields
    bzHttpText *sendBuf; // header and body joined for sending
    // What was received; once taken, the body's form line (still encoded: each field is split
    // off first and decoded as it is read); null until awaited.
    bzHttpText *response;
    int32_t lengthAdded; // the Content-length line is in the header
    int32_t bodyTaken;   // response holds the taken body
};

// Builds a request for the URL (agent null for the default user agent; the user-agent line
// carries the program's build date). BZ_HTTP_OK; BZ_HTTP_NO_MEMORY; BZ_HTTP_CONNECT_FAILED
// for a URL with no host, a bad port or more than BZ_HTTP_MAX_URL characters.
int32_t bz_Http_Post(const char *agent, const char *url, bzHttpRequest **out);
// Appends "name=value" (after "&" when the body is not empty), the value URL-encoded
// (BZ_HTTP_ENCODE_URL) or letter-encoded (any other value). BZ_HTTP_OK or BZ_HTTP_NO_MEMORY.
int32_t bz_Http_AddField(bzHttpRequest *request, const char *name, const void *value,
                         uint32_t valueLength, int32_t encoding);
// Connects (up to BZ_HTTP_CONNECT_TIMEOUT_MS) and sends the whole request within timeoutMs:
// BZ_HTTP_OK, BZ_HTTP_TIMEOUT, BZ_HTTP_NO_CONNECTION, BZ_HTTP_CONNECT_FAILED,
// BZ_HTTP_SEND_FAILED or BZ_HTTP_ALREADY_SENT.
int32_t bz_Http_ConnectAndSend(bzHttpRequest *request, uint32_t timeoutMs);
// Starts waiting for the answer for up to timeoutMs: BZ_HTTP_NOT_SENT, else BZ_HTTP_OK.
int32_t bz_Http_StartResponse(bzHttpRequest *request, uint32_t timeoutMs);
// One non-blocking step of the wait, once a frame: BZ_HTTP_NOT_SENT, BZ_HTTP_OK (nothing to
// wait for), BZ_HTTP_TIMEOUT, BZ_HTTP_BUSY, BZ_HTTP_BAD_RESPONSE or BZ_HTTP_CLOSED.
int32_t bz_Http_Poll(bzHttpRequest *request);
// Checks the answer and keeps its body's form line: BZ_HTTP_NOT_SENT, BZ_HTTP_BUSY,
// BZ_HTTP_BAD_RESPONSE, BZ_HTTP_NO_MEMORY or BZ_HTTP_OK.
int32_t bz_Http_TakeBody(bzHttpRequest *request);
// Ends the wait and takes the body.
int32_t bz_Http_EndResponse(bzHttpRequest *request);
// Reads one field of the taken body. The body is split at "&" and each field at its first
// "=" before the name and value are URL-decoded, so an encoded "&" or "=" stays inside its
// name or value. The value (null when empty) is a new block for bz_MemFree; with decode set
// it is letter-decoded as well. BZ_HTTP_NOT_SENT, BZ_HTTP_BUSY, BZ_HTTP_BAD_RESPONSE (also
// for a value that is not letter text when decoding), BZ_HTTP_NO_FIELD, BZ_HTTP_NO_MEMORY
// or BZ_HTTP_OK.
int32_t bz_Http_GetField(bzHttpRequest *request, const char *name, char **value, int32_t *length,
                         int32_t decode);
// Closes the socket and frees the request; null is ignored.
void bz_Http_Close(bzHttpRequest *request);

int32_t bz_Http_GetStatus(const bzHttpRequest *request);
int32_t bz_Http_IsSent(const bzHttpRequest *request);
int32_t bz_Http_IsBusy(const bzHttpRequest *request);

// New texts (null when memory fails), freed with bz_HttpText_Free.
bzHttpText *bz_Http_UrlEncode(const void *data, uint32_t length);
bzHttpText *bz_EncodeNibbleText(const void *data, uint32_t length);
// The reverse of the letter encoding; stops at the terminator, an odd last letter or a
// character that is not a letter a-p.
bzHttpText *bz_Http_DecodeNibbleText(const char *text);
// The same into a plain block for bz_MemFree, with its length.
uint8_t *bz_Http_DecodeNibbleBlock(const char *text, uint32_t *length);

// Adds the URL's host to the host cache: BZ_HTTP_CACHE_FULL, else BZ_HTTP_CACHE_ROOM.
int32_t bz_Http_CacheHost(const char *url);
// Blocking GET of the URL into fileName through the download file "<fileName>.dld", which
// grows as the data arrives. The answer must be a 200 with one "Content-Length" (the header
// name whole at a line start; a value of plain decimal digits from 1 to BZ_HTTP_MAX_DOWNLOAD).
// BZ_HTTP_DOWNLOAD_DONE when the whole file arrived and was written; BZ_HTTP_DOWNLOAD_FAILED
// otherwise, a short body included, with nothing left on disk.
int32_t bz_Http_GetToFile(const char *url, const char *fileName);
// How long the blocking download waits for the next piece.
void bz_Http_SetDownloadTimeout(uint32_t milliseconds);
// How long the whole blocking download may take, from the connection to the last byte.
void bz_Http_SetDownloadDeadline(uint32_t milliseconds);

// Text records.
bzHttpText *bz_HttpText_New();
void bz_HttpText_Free(bzHttpText *text);
// Appends bytes: BZ_HTTP_OK, or BZ_HTTP_NO_MEMORY.
int32_t bz_HttpText_Append(bzHttpText *text, const void *data, uint32_t length);
// Appends formatted text: BZ_HTTP_OK, or BZ_HTTP_NO_MEMORY.
int32_t bz_HttpText_Printf(bzHttpText *text, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void bz_HttpText_Clear(bzHttpText *text);
