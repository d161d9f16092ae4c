// TCP sockets of the PC: IPv4 name look-up, a non-blocking connect with a time-out, and sends
// and receives that never block.
#pragma once

#include <cstdint>

// An open socket; 0 is none.
typedef int32_t PDSocket;

enum : int32_t
{
    PD_CONNECT_OK = 0,
    PD_CONNECT_TIMEOUT = 1, // the connection did not complete in time
    PD_CONNECT_FAILED = 2,  // refused or failed
};

enum : int32_t
{
    PD_SOCKET_ERROR = -1,  // the operation failed
    PD_SOCKET_CLOSED = -2, // the other side closed the connection
};

// Reads a dotted IPv4 address ("127.0.0.1"); 1 when the text is one.
int32_t PDSocket_ParseDotted(const char *text, uint8_t address[4]);
// Asks the system's name look-up for the first IPv4 address of the host; 1 when found.
int32_t PDSocket_LookupHost(const char *host, uint8_t address[4]);

// A non-blocking TCP socket; 0 when none can be made.
PDSocket PDSocket_Create();
// Connects; when the connection would block, waits up to timeoutMs for it to complete.
int32_t PDSocket_Connect(PDSocket socket, const uint8_t address[4], uint16_t port,
                         uint32_t timeoutMs);
// Sends what can be sent now: the bytes sent (0 when the send would block) or PD_SOCKET_ERROR.
int32_t PDSocket_Send(PDSocket socket, const void *data, uint32_t length);
// Receives what is waiting: the bytes received (0 when nothing is waiting), PD_SOCKET_CLOSED
// or PD_SOCKET_ERROR.
int32_t PDSocket_Receive(PDSocket socket, void *buffer, uint32_t size);
// Waits up to timeoutMs for data (or the close) to arrive: 1 ready, 0 time-out, -1 error.
int32_t PDSocket_WaitReadable(PDSocket socket, uint32_t timeoutMs);
// Waits up to timeoutMs until a send can go on: 1 ready, 0 time-out, -1 error.
int32_t PDSocket_WaitWritable(PDSocket socket, uint32_t timeoutMs);
void PDSocket_Close(PDSocket socket);
