#include "net/Http.h"
#include "core/Memory.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace
{
// The test server process (tests/net/http_server.py) on 127.0.0.1; it stores each request in
// <dir>/request.bin and answers by path. It ends when its standard input closes.
class HttpServer
{
public:
    explicit HttpServer(const std::string &dir) : dir_(dir)
    {
        const char *source = std::getenv("TOLVANE_SOURCE_DIR");
        std::string script = std::string(source ? source : ".") + "/tests/net/http_server.py";
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string python = "python3";
        char *argv[] = {python.data(), script.data(), dir_.data(), nullptr};
        if (posix_spawnp(&pid_, "python3", &actions, nullptr, argv, environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        // The port line, within a bounded wait.
        std::string line;
        pollfd p = {out[0], POLLIN, 0};
        while (pid_ && line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0)
        {
            char c[64];
            ssize_t n = read(out[0], c, sizeof c);
            if (n <= 0)
                break;
            line.append(c, static_cast<size_t>(n));
        }
        close(out[0]);
        port_ = std::atoi(line.c_str());
    }
    ~HttpServer()
    {
        if (stdin_ >= 0)
            close(stdin_);
        if (pid_ > 0)
        {
            kill(pid_, SIGTERM);
            int status;
            waitpid(pid_, &status, 0);
        }
    }
    int port() const { return port_; }
    std::string Url(const std::string &path) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::string LastRequest() const { return ReadWholeFile(dir_ + "/request.bin"); }

private:
    std::string dir_;
    pid_t pid_ = 0;
    int stdin_ = -1;
    int port_ = 0;
};

// Polls once a millisecond until the answer is no longer arriving (bounded).
int32_t PollUntilDone(bzHttpRequest *r)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int32_t code;
    while ((code = bz_Http_Poll(r)) == BZ_HTTP_BUSY && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return code;
}

// The program's build date, the same on every build, so the request bytes are too.
std::string UserAgentLine()
{
    return "User-Agent: DOZiz/1.000 ( Windows; NT; Mar_14_2005; )\r\n";
}

std::string TextOf(bzHttpText *t)
{
    std::string s = t ? std::string(t->text, t->length) : std::string("<null>");
    bz_HttpText_Free(t);
    return s;
}

std::string Field(bzHttpRequest *r, const char *name, int32_t decode, int32_t *code)
{
    char *value = nullptr;
    int32_t length = -1;
    *code = bz_Http_GetField(r, name, &value, &length, decode);
    std::string s = value ? std::string(value, static_cast<size_t>(length)) : std::string();
    bz_MemFree(value);
    return s;
}

class HttpTest : public ::testing::Test
{
protected:
    ScopedTempDir dir;
    HttpServer server{dir.path()};
    void SetUp() override { ASSERT_GT(server.port(), 0) << "the test server did not start"; }
};

TEST(HttpText, Encodings)
{
    EXPECT_EQ(TextOf(bz_Http_UrlEncode("a b&c", 5)), "a+b%26c");
    EXPECT_EQ(TextOf(bz_Http_UrlEncode("\xff\x01Z9", 4)), "%ff%01Z9");
    uint8_t q = 0x3F;
    EXPECT_EQ(TextOf(bz_EncodeNibbleText(&q, 1)), "dp");
    EXPECT_EQ(TextOf(bz_EncodeNibbleText("", 0)), "");
    EXPECT_EQ(TextOf(bz_Http_DecodeNibbleText("eigj")), "Hi");
    // An odd last letter or a foreign character ends the decoding.
    EXPECT_EQ(TextOf(bz_Http_DecodeNibbleText("eigje")), "Hi");
    EXPECT_EQ(TextOf(bz_Http_DecodeNibbleText("eizzhj")), "H");
    uint32_t len = 99;
    uint8_t *block = bz_Http_DecodeNibbleBlock("aapp", &len);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(block[0], 0x00);
    EXPECT_EQ(block[1], 0xFF);
    bz_MemFree(block);

    bzHttpText *t = bz_HttpText_New();
    ASSERT_NE(t, nullptr);
    std::string big(1000, 'x');
    EXPECT_EQ(bz_HttpText_Printf(t, "%s-%d", big.c_str(), 42), 0);
    EXPECT_EQ(t->length, 1003u);
    EXPECT_EQ(t->capacity % 32, 0u);
    EXPECT_GT(t->capacity, t->length);
    EXPECT_EQ(std::string(t->text + 1000), "-42");
    bz_HttpText_Free(t);
}

TEST_F(HttpTest, PostSendsExactRequestAndReadsFields)
{
    bzHttpRequest *r = nullptr;
    ASSERT_EQ(bz_Http_Post(nullptr, server.Url("/page").c_str(), &r), 0);
    EXPECT_EQ(bz_Http_Poll(r), BZ_HTTP_NOT_SENT);
    EXPECT_EQ(bz_Http_StartResponse(r, 1000), BZ_HTTP_NOT_SENT);
    EXPECT_EQ(bz_Http_AddField(r, "name", "a b&c", 5, BZ_HTTP_ENCODE_URL), 0);
    uint8_t q = 0x3F;
    EXPECT_EQ(bz_Http_AddField(r, "blob", &q, 1, BZ_HTTP_ENCODE_LETTERS), 0);
    ASSERT_EQ(bz_Http_ConnectAndSend(r, 2000), 0);
    EXPECT_EQ(bz_Http_IsSent(r), 1);
    EXPECT_EQ(bz_Http_ConnectAndSend(r, 2000), BZ_HTTP_ALREADY_SENT);
    ASSERT_EQ(bz_Http_StartResponse(r, 5000), 0);
    EXPECT_EQ(bz_Http_IsBusy(r), 1);
    EXPECT_EQ(bz_Http_TakeBody(r), BZ_HTTP_BUSY);
    EXPECT_EQ(PollUntilDone(r), BZ_HTTP_CLOSED);
    EXPECT_EQ(bz_Http_Poll(r), BZ_HTTP_OK);

    std::string body = "name=a+b%26c&blob=dp";
    EXPECT_EQ(server.LastRequest(), "POST /page HTTP/1.0\r\n"
                                    "Content-type: application/x-www-form-urlencoded\r\n" +
                                        UserAgentLine() + "Content-length: 20\r\n\r\n" + body);

    ASSERT_EQ(bz_Http_EndResponse(r), 0);
    EXPECT_EQ(bz_Http_TakeBody(r), 0); // taking it again keeps it
    int32_t code;
    EXPECT_EQ(Field(r, "data", 0, &code), "hello world!");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Field(r, "status", 0, &code), "ok");
    EXPECT_EQ(Field(r, "metadata", 0, &code), "zz");
    // Whole names only: "ata" and "tadata" are not fields.
    Field(r, "ata", 0, &code);
    EXPECT_EQ(code, BZ_HTTP_NO_FIELD);
    Field(r, "tadata", 0, &code);
    EXPECT_EQ(code, BZ_HTTP_NO_FIELD);
    Field(r, "ok", 0, &code);
    EXPECT_EQ(code, BZ_HTTP_NO_FIELD);
    // The body ends at its first line break.
    Field(r, "after", 0, &code);
    EXPECT_EQ(code, BZ_HTTP_NO_FIELD);

    char *value = reinterpret_cast<char *>(1);
    int32_t length = -1;
    EXPECT_EQ(bz_Http_GetField(r, "empty", &value, &length, 0), 0);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(bz_Http_GetField(r, "flag", &value, &length, 0), 0);
    EXPECT_EQ(length, 0);

    EXPECT_EQ(Field(r, "hex", 1, &code), std::string("Hi\0!", 4));
    EXPECT_EQ(code, 0);
    // Letter text of odd length, or with letters past p, is refused.
    Field(r, "odd", 1, &code);
    EXPECT_EQ(code, BZ_HTTP_BAD_RESPONSE);
    Field(r, "bad", 1, &code);
    EXPECT_EQ(code, BZ_HTTP_BAD_RESPONSE);
    bz_Http_Close(r);
}

TEST_F(HttpTest, CustomAgentAndDefaultPage)
{
    bzHttpRequest *r = nullptr;
    ASSERT_EQ(bz_Http_Post("Tester/2", server.Url("").c_str(), &r), 0);
    ASSERT_EQ(bz_Http_ConnectAndSend(r, 2000), 0);
    ASSERT_EQ(bz_Http_StartResponse(r, 5000), 0);
    EXPECT_EQ(PollUntilDone(r), BZ_HTTP_CLOSED);
    std::string request = server.LastRequest();
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /index.html HTTP/1.0");
    EXPECT_NE(request.find("User-Agent: Tester/2 ( Windows; NT; "), std::string::npos);
    EXPECT_NE(request.find("Content-length: 0\r\n\r\n"), std::string::npos);
    ASSERT_EQ(bz_Http_EndResponse(r), 0);
    int32_t code;
    EXPECT_EQ(Field(r, "page", 0, &code), "index");
    bz_Http_Close(r);

    // Without a scheme the first part is the host.
    std::string bare = "127.0.0.1:" + std::to_string(server.port()) + "//page";
    ASSERT_EQ(bz_Http_Post(nullptr, bare.c_str(), &r), 0);
    ASSERT_EQ(bz_Http_ConnectAndSend(r, 2000), 0);
    ASSERT_EQ(bz_Http_StartResponse(r, 5000), 0);
    EXPECT_EQ(PollUntilDone(r), BZ_HTTP_CLOSED);
    EXPECT_EQ(server.LastRequest().substr(0, 21), "POST /page HTTP/1.0\r\n");
    bz_Http_Close(r);
}

// The path of a URL ends at its first character at or below the blank: a blank, a tab or a
// CR LF in it never reaches the request line, so a URL cannot add header lines.
TEST_F(HttpTest, PathEndsAtTheFirstBlankOrControlCharacter)
{
    const struct
    {
        std::string tail; // after the host and port
        const char *requestLine;
    } cases[] = {
        {"/page extra", "POST /page HTTP/1.0"},
        {"/page\r\nX-Injected: 1", "POST /page HTTP/1.0"},
        {"/page\nX-Injected: 1", "POST /page HTTP/1.0"},
        {"/page\tx", "POST /page HTTP/1.0"},
        {"/page\x01x", "POST /page HTTP/1.0"},
        {"/page\x1fx", "POST /page HTTP/1.0"},
        {" /page", "POST /index.html HTTP/1.0"}, // the host ends at the blank: no path
        {"/pa!ge", "POST /pa!ge HTTP/1.0"},      // printable characters stay
    };
    for (const auto &c : cases)
    {
        const std::string url = server.Url("") + c.tail;
        bzHttpRequest *r = nullptr;
        ASSERT_EQ(bz_Http_Post(nullptr, url.c_str(), &r), 0) << c.tail;
        ASSERT_EQ(bz_Http_ConnectAndSend(r, 2000), 0) << c.tail;
        ASSERT_EQ(bz_Http_StartResponse(r, 5000), 0) << c.tail;
        EXPECT_EQ(PollUntilDone(r), BZ_HTTP_CLOSED) << c.tail;
        bz_Http_Close(r);
        const std::string request = server.LastRequest();
        EXPECT_EQ(request.substr(0, request.find("\r\n")), c.requestLine) << c.tail;
        EXPECT_EQ(request.find("X-Injected"), std::string::npos) << c.tail;
        EXPECT_EQ(request.find('\t'), std::string::npos) << c.tail;
        EXPECT_NE(request.find("\r\nContent-type: application/x-www-form-urlencoded\r\n"),
                  std::string::npos)
            << c.tail;
    }
}

TEST_F(HttpTest, NotFoundAndMissingAnswerAreErrors)
{
    bzHttpRequest *r = nullptr;
    ASSERT_EQ(bz_Http_Post(nullptr, server.Url("/notfound").c_str(), &r), 0);
    ASSERT_EQ(bz_Http_ConnectAndSend(r, 2000), 0);
    ASSERT_EQ(bz_Http_StartResponse(r, 5000), 0);
    EXPECT_EQ(PollUntilDone(r), BZ_HTTP_CLOSED);
    EXPECT_EQ(bz_Http_EndResponse(r), BZ_HTTP_BAD_RESPONSE);
    EXPECT_EQ(bz_Http_GetStatus(r), BZ_HTTP_BAD_RESPONSE);
    int32_t code;
    Field(r, "data", 0, &code);
    EXPECT_EQ(code, BZ_HTTP_BAD_RESPONSE);
    bz_Http_Close(r);
}

TEST_F(HttpTest, SilentServerTimesOut)
{
    bzHttpRequest *r = nullptr;
    ASSERT_EQ(bz_Http_Post(nullptr, server.Url("/silent").c_str(), &r), 0);
    ASSERT_EQ(bz_Http_ConnectAndSend(r, 2000), 0);
    ASSERT_EQ(bz_Http_StartResponse(r, 300), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PollUntilDone(r), BZ_HTTP_TIMEOUT);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_EQ(bz_Http_IsBusy(r), 0);
    EXPECT_EQ(bz_Http_EndResponse(r), BZ_HTTP_BAD_RESPONSE);
    bz_Http_Close(r);
}

TEST_F(HttpTest, FloodIsCutAtTheCap)
{
    bzHttpRequest *r = nullptr;
    ASSERT_EQ(bz_Http_Post(nullptr, server.Url("/flood").c_str(), &r), 0);
    ASSERT_EQ(bz_Http_ConnectAndSend(r, 2000), 0);
    ASSERT_EQ(bz_Http_StartResponse(r, 8000), 0);
    EXPECT_EQ(PollUntilDone(r), BZ_HTTP_BAD_RESPONSE);
    ASSERT_NE(r->response, nullptr);
    // An answer is kept up to 65,536 bytes; the receive that would pass it ends the wait.
    EXPECT_LE(r->response->length, 65536u);
    EXPECT_GT(r->response->length, 65536u - 512);
    EXPECT_EQ(bz_Http_EndResponse(r), BZ_HTTP_BAD_RESPONSE);
    bz_Http_Close(r);
}

TEST_F(HttpTest, ConnectionFailures)
{
    // A port nobody listens on.
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&sin), &len), 0);
    int freePort = ntohs(sin.sin_port);
    close(s);

    bzHttpRequest *r = nullptr;
    std::string url = "http://127.0.0.1:" + std::to_string(freePort) + "/page";
    ASSERT_EQ(bz_Http_Post(nullptr, url.c_str(), &r), 0);
    EXPECT_EQ(bz_Http_ConnectAndSend(r, 1000), BZ_HTTP_CONNECT_FAILED);
    EXPECT_EQ(bz_Http_IsSent(r), 0);
    EXPECT_EQ(bz_Http_StartResponse(r, 1000), BZ_HTTP_NOT_SENT);
    // A second try sends one Content-length line, not two.
    EXPECT_EQ(bz_Http_ConnectAndSend(r, 1000), BZ_HTTP_CONNECT_FAILED);
    std::string head(r->header->text, r->header->length);
    EXPECT_EQ(head.find("Content-length"), head.rfind("Content-length"));
    bz_Http_Close(r);

    // An address that does not resolve fails; nothing goes anywhere else.
    ASSERT_EQ(bz_Http_Post(nullptr, "http://300.1.2.3/page", &r), 0);
    EXPECT_EQ(bz_Http_ConnectAndSend(r, 1000), BZ_HTTP_CONNECT_FAILED);
    bz_Http_Close(r);

    // URLs with no host, a bad port or too long are refused at once.
    const char *bad[] = {"http://", "", "http://127.0.0.1:0/x", "http://127.0.0.1:99999/x",
                         "http://127.0.0.1:8a/x"};
    for (const char *u : bad)
    {
        r = reinterpret_cast<bzHttpRequest *>(1);
        EXPECT_EQ(bz_Http_Post(nullptr, u, &r), BZ_HTTP_CONNECT_FAILED) << u;
        EXPECT_EQ(r, nullptr);
    }
    std::string longUrl = "http://127.0.0.1/" + std::string(BZ_HTTP_MAX_URL, 'a');
    EXPECT_EQ(bz_Http_Post(nullptr, longUrl.c_str(), &r), BZ_HTTP_CONNECT_FAILED);
}

TEST_F(HttpTest, HostCacheResolvesNames)
{
    bzHttpRequest *r = nullptr;
    EXPECT_EQ(bz_Http_CacheHost("http://localhost/x"), 0);
    std::string url = "http://LOCALHOST:" + std::to_string(server.port()) + "/page";
    ASSERT_EQ(bz_Http_Post(nullptr, url.c_str(), &r), 0);
    EXPECT_EQ(bz_Http_ConnectAndSend(r, 2000), 0);
    bz_Http_Close(r);
    // Fill the cache; the eleventh host finds it full.
    int32_t full = 0;
    for (int i = 0; i < 12 && !full; ++i)
        full = bz_Http_CacheHost(("http://127.0.0." + std::to_string(i + 1) + "/").c_str());
    EXPECT_EQ(full, 1);
}

TEST_F(HttpTest, BlockingDownload)
{
    bz_Http_SetDownloadTimeout(2000);
    EXPECT_EQ(bz_Http_GetToFile(server.Url("/file.bin").c_str(), "file.bin"), 1);
    EXPECT_EQ(server.LastRequest(), "GET /file.bin HTTP/1.0\r\n\r\n");
    // The path ends at its first blank or control character: no header line can be added
    // through it.
    for (const char *tail : {"\r\nX-Injected: 1", " HTTP/1.1", "\tx"})
    {
        EXPECT_EQ(bz_Http_GetToFile(server.Url(std::string("/file.bin") + tail).c_str(), "cut.bin"),
                  1)
            << tail;
        EXPECT_EQ(server.LastRequest(), "GET /file.bin HTTP/1.0\r\n\r\n") << tail;
    }
    std::string got = ReadWholeFile("file.bin");
    ASSERT_EQ(got.size(), 3000u);
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(static_cast<uint8_t>(got[i]), static_cast<uint8_t>((i * 7 + 3) & 0xFF)) << i;
    EXPECT_TRUE(ReadWholeFile("file.bin.dld").empty());
    EXPECT_EQ(access("file.bin.dld", F_OK), -1);

    // More than announced: only the announced size is kept.
    EXPECT_EQ(bz_Http_GetToFile(server.Url("/long.bin").c_str(), "long.bin"), 1);
    EXPECT_EQ(ReadWholeFile("long.bin").size(), 100u);

    // Less than announced, no length, a 404, an absurd length: nothing is written.
    const char *failing[] = {"short", "nolength", "missing", "huge"};
    for (const char *name : failing)
    {
        std::string file = std::string(name) + ".bin";
        EXPECT_EQ(bz_Http_GetToFile(server.Url("/" + file).c_str(), file.c_str()), 0) << name;
        EXPECT_EQ(access(file.c_str(), F_OK), -1) << name;
        EXPECT_EQ(access((file + ".dld").c_str(), F_OK), -1) << name;
    }
    // The scheme is optional and read in any case.
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(bz_Http_GetToFile(("HTTP://" + hostPort + "/file.bin").c_str(), "upper.bin"), 1);
    EXPECT_EQ(ReadWholeFile("upper.bin"), got);
    EXPECT_EQ(bz_Http_GetToFile((hostPort + "/file.bin").c_str(), "bare.bin"), 1);
    EXPECT_EQ(ReadWholeFile("bare.bin"), got);

    // An empty path ends the call, as do URLs with no path or no host.
    EXPECT_EQ(bz_Http_GetToFile(server.Url("/").c_str(), "x.bin"), 0);
    for (const char *u : {"", "h", "http:/", "/file.bin", "http://:80/file.bin"})
        EXPECT_EQ(bz_Http_GetToFile(u, "x.bin"), 0) << u;
    EXPECT_EQ(access("x.bin", F_OK), -1);
}

TEST_F(HttpTest, BlockingDownloadTimesOut)
{
    bz_Http_SetDownloadTimeout(300);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bz_Http_GetToFile(server.Url("/stall.bin").c_str(), "stall.bin"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(access("stall.bin", F_OK), -1);
    EXPECT_EQ(access("stall.bin.dld", F_OK), -1);
    bz_Http_SetDownloadTimeout(10000);
}

uint32_t Word(const std::string &bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

TEST_F(HttpTest, DownloadFileLayoutWhileArriving)
{
    // The server sends 10 of 1,000 bytes and stalls; the download file is read meanwhile.
    bz_Http_SetDownloadTimeout(800);
    std::string url = server.Url("/stall.bin");
    int32_t result = -1;
    std::thread download([&] { result = bz_Http_GetToFile(url.c_str(), "part.bin"); });
    std::string dld;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    while (std::chrono::steady_clock::now() < end && Word(dld + std::string(16, '\0'), 12) != 10)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        dld = ReadWholeFile("part.bin.dld");
    }
    download.join();
    bz_Http_SetDownloadTimeout(10000);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(access("part.bin.dld", F_OK), -1);

    const std::string names = std::string("part.bin") + '\0' + "part.bin.dld" + '\0' + url + '\0';
    // The data area holds what arrived, and no more.
    ASSERT_EQ(dld.size(), 32 + names.size() + 10);
    EXPECT_EQ(dld.substr(0, 4), "DLD0");
    EXPECT_EQ(Word(dld, 4), 1u);
    EXPECT_EQ(Word(dld, 8), 1000u);
    EXPECT_EQ(Word(dld, 12), 10u);
    EXPECT_EQ(Word(dld, 16), 2u); // kept open between writes
    EXPECT_EQ(Word(dld, 20), 8u);
    EXPECT_EQ(Word(dld, 24), 12u);
    EXPECT_EQ(Word(dld, 28), url.size());
    EXPECT_EQ(dld.substr(32, names.size()), names);
    const size_t data = 35 + 8 + 12 + url.size();
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(static_cast<uint8_t>(dld[data + i]), static_cast<uint8_t>((i * 7 + 3) & 0xFF));
}

// The length is read from a "Content-Length" line only (its name whole, at a line start, in
// any case), and must be plain decimal digits; anything else refuses the download.
TEST_F(HttpTest, DownloadLengthLineIsReadWholeAndStrictly)
{
    bz_Http_SetDownloadTimeout(2000);
    const struct
    {
        const char *head;
        int32_t result;
    } cases[] = {
        {"plain", BZ_HTTP_DOWNLOAD_DONE},      {"tight", BZ_HTTP_DOWNLOAD_DONE},
        {"spaced", BZ_HTTP_DOWNLOAD_DONE},     {"twice", BZ_HTTP_DOWNLOAD_DONE},
        {"old", BZ_HTTP_DOWNLOAD_FAILED},      {"inside", BZ_HTTP_DOWNLOAD_FAILED},
        {"negative", BZ_HTTP_DOWNLOAD_FAILED}, {"plus", BZ_HTTP_DOWNLOAD_FAILED},
        {"empty", BZ_HTTP_DOWNLOAD_FAILED},    {"letters", BZ_HTTP_DOWNLOAD_FAILED},
        {"split", BZ_HTTP_DOWNLOAD_FAILED},    {"hex", BZ_HTTP_DOWNLOAD_FAILED},
        {"differ", BZ_HTTP_DOWNLOAD_FAILED},   {"spacebefore", BZ_HTTP_DOWNLOAD_FAILED},
        {"zero", BZ_HTTP_DOWNLOAD_FAILED},
    };
    std::string pattern(100, '\0');
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    for (const auto &c : cases)
    {
        const std::string file = std::string(c.head) + ".bin";
        EXPECT_EQ(bz_Http_GetToFile(server.Url("/len-" + file).c_str(), file.c_str()), c.result)
            << c.head;
        if (c.result == BZ_HTTP_DOWNLOAD_DONE)
            EXPECT_EQ(ReadWholeFile(file), pattern) << c.head;
        else
            EXPECT_EQ(access(file.c_str(), F_OK), -1) << c.head;
        EXPECT_EQ(access((file + ".dld").c_str(), F_OK), -1) << c.head;
    }
    bz_Http_SetDownloadTimeout(10000);
}

// A head announcing 16 MB costs nothing until the data comes: the download file grows with
// what arrives.
TEST_F(HttpTest, DownloadFileGrowsAsDataArrives)
{
    bz_Http_SetDownloadTimeout(800);
    std::string url = server.Url("/bigstall.bin");
    int32_t result = -1;
    std::thread download([&] { result = bz_Http_GetToFile(url.c_str(), "big.bin"); });
    std::string dld;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    while (std::chrono::steady_clock::now() < end && Word(dld + std::string(16, '\0'), 12) != 10)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        dld = ReadWholeFile("big.bin.dld");
    }
    download.join();
    bz_Http_SetDownloadTimeout(10000);
    EXPECT_EQ(result, BZ_HTTP_DOWNLOAD_FAILED);
    ASSERT_GE(dld.size(), 16u);
    EXPECT_EQ(Word(dld, 8), 16777216u);
    EXPECT_EQ(Word(dld, 12), 10u);
    EXPECT_EQ(dld.size(), 35 + 7 + 11 + url.size() + 10);
    EXPECT_EQ(access("big.bin", F_OK), -1);
    EXPECT_EQ(access("big.bin.dld", F_OK), -1);
}

// A server that keeps sending, slowly enough never to miss the wait for a piece, is still cut
// off by the deadline of the whole download.
TEST_F(HttpTest, DownloadHasAnOverallDeadline)
{
    bz_Http_SetDownloadTimeout(2000);
    bz_Http_SetDownloadDeadline(500);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bz_Http_GetToFile(server.Url("/trickle.bin").c_str(), "trickle.bin"),
              BZ_HTTP_DOWNLOAD_FAILED);
    auto took = std::chrono::steady_clock::now() - start;
    bz_Http_SetDownloadDeadline(120000);
    bz_Http_SetDownloadTimeout(10000);
    EXPECT_GE(took, std::chrono::milliseconds(450));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    EXPECT_EQ(access("trickle.bin", F_OK), -1);
    EXPECT_EQ(access("trickle.bin.dld", F_OK), -1);
}

// A request that believes it has received the given bytes.
struct FakeAnswer
{
    bzHttpRequest request = {};
    explicit FakeAnswer(const std::string &bytes)
    {
        request.sent = 1;
        request.status = BZ_HTTP_CLOSED;
        request.response = bz_HttpText_New();
        bz_HttpText_Append(request.response, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    ~FakeAnswer() { bz_HttpText_Free(request.response); }
};

TEST(HttpResponse, MalformedAnswers)
{
    const struct
    {
        const char *bytes;
        int32_t code;
        const char *data; // the field "data" when the answer is good
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\ndata=1", 0, "1"},
        {"HTTP/1.1 200 Fine thanks\r\nA: b\r\n\r\nx=2&data=%41%4a%4", 0, "AJ%4"},
        {"HTTP/1.0 200 OK\r\n\r\ndata=%zz+%", 0, "%zz %"},
        {"HTTP/1.0 200 OK\r\n\r\n", 0, nullptr},
        {"HTTP/1.0 200 OK\r\n", 7, nullptr},
        {"HTTP/1.0 200 OK\n\ndata=1", 7, nullptr},
        {"HTTP/1.0 200OK\r\n\r\ndata=1", 7, nullptr},
        {"HTTP/1.0 2000 OK\r\n\r\ndata=1", 7, nullptr},
        {"HTTP/1.0  200 OK\r\n\r\ndata=1", 7, nullptr},
        {"HTTP/ 200 OK\r\n\r\ndata=1", 7, nullptr},
        {"HTTP/1.0 404 Not Found\r\n\r\ndata=1", 7, nullptr},
        {"HTTX/1.0 200 OK\r\n\r\ndata=1", 7, nullptr},
        {"HTTP", 7, nullptr},
        {"", 7, nullptr},
    };
    for (const auto &c : cases)
    {
        FakeAnswer a(c.bytes);
        EXPECT_EQ(bz_Http_TakeBody(&a.request), c.code) << c.bytes;
        int32_t code;
        std::string data = Field(&a.request, "data", 0, &code);
        if (c.data)
        {
            EXPECT_EQ(code, 0) << c.bytes;
            EXPECT_EQ(data, c.data) << c.bytes;
        }
        else if (c.code == 0)
            EXPECT_EQ(code, BZ_HTTP_NO_FIELD) << c.bytes;
        else
            EXPECT_EQ(code, BZ_HTTP_BAD_RESPONSE) << c.bytes;
    }
    // A status other than complete (or nothing received) is no answer.
    FakeAnswer timedOut("HTTP/1.0 200 OK\r\n\r\ndata=1");
    timedOut.request.status = BZ_HTTP_TIMEOUT;
    EXPECT_EQ(bz_Http_TakeBody(&timedOut.request), BZ_HTTP_BAD_RESPONSE);
}

// Fields are split at "&" and "=" first and only then decoded: an encoded "&" or "=" stays
// inside its value or name.
TEST(HttpResponse, FieldsAreSplitBeforeDecoding)
{
    FakeAnswer a("HTTP/1.0 200 OK\r\n\r\n"
                 "msg=Tom+%26+Jerry%3Dfriends&score=10&a%26b=c&na%6De=x&%3D=eq&hex=%65%69gj\r\n");
    ASSERT_EQ(bz_Http_TakeBody(&a.request), BZ_HTTP_OK);
    const struct
    {
        const char *name;
        int32_t decode;
        int32_t code;
        const char *value;
    } cases[] = {
        {"msg", 0, BZ_HTTP_OK, "Tom & Jerry=friends"},
        {"score", 0, BZ_HTTP_OK, "10"},
        {" Jerry", 0, BZ_HTTP_NO_FIELD, ""},
        {"Jerry", 0, BZ_HTTP_NO_FIELD, ""},
        {"friends", 0, BZ_HTTP_NO_FIELD, ""},
        {"a&b", 0, BZ_HTTP_OK, "c"},
        {"a", 0, BZ_HTTP_NO_FIELD, ""},
        {"b", 0, BZ_HTTP_NO_FIELD, ""},
        {"name", 0, BZ_HTTP_OK, "x"},
        {"=", 0, BZ_HTTP_OK, "eq"},
        {"hex", 0, BZ_HTTP_OK, "eigj"},
        {"hex", 1, BZ_HTTP_OK, "Hi"},
    };
    for (const auto &c : cases)
    {
        int32_t code = -1;
        EXPECT_EQ(Field(&a.request, c.name, c.decode, &code), c.value) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
    }
}

TEST(HttpResponse, FuzzedAnswersNeverCrash)
{
    std::mt19937 rng(12345);
    const std::string valid = "HTTP/1.0 200 OK\r\nContent-Type: x\r\n\r\ndata=eihj&x=%41+b&y\r\n";
    const char *names[] = {"data", "x", "y", "", "HTTP/1.0"};
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int runs = 0;
    for (; runs < 20000 && std::chrono::steady_clock::now() < end; ++runs)
    {
        std::string bytes;
        if (runs % 2 == 0)
        {
            bytes.resize(rng() % 200);
            for (char &c : bytes)
                c = static_cast<char>(rng());
        }
        else
        {
            bytes = valid;
            int edits = 1 + static_cast<int>(rng() % 6);
            for (int e = 0; e < edits && !bytes.empty(); ++e)
            {
                size_t at = rng() % bytes.size();
                switch (rng() % 3)
                {
                case 0: bytes[at] = static_cast<char>(rng()); break;
                case 1: bytes.erase(at, 1 + rng() % 4); break;
                default: bytes.insert(at, 1, "%&=\r\n+ab"[rng() % 8]); break;
                }
            }
        }
        FakeAnswer a(bytes);
        int32_t code = bz_Http_TakeBody(&a.request);
        ASSERT_TRUE(code == 0 || code == BZ_HTTP_BAD_RESPONSE);
        for (const char *name : names)
            for (int32_t decode = 0; decode < 2; ++decode)
            {
                char *value = nullptr;
                int32_t length = 0;
                int32_t f = bz_Http_GetField(&a.request, name, &value, &length, decode);
                ASSERT_TRUE(f == 0 || f == BZ_HTTP_NO_FIELD || f == BZ_HTTP_BAD_RESPONSE);
                ASSERT_TRUE(value != nullptr || length == 0);
                bz_MemFree(value);
            }
    }
    EXPECT_GT(runs, 1000);
}
} // namespace
