#pragma once

// The per-request side of the server core: libmicrohttpd's callbacks, which gather one request
// (headers, bounded body through the POST processor), ask the service for its response, stream
// it, and tell the service whether the client took all of it.

#include "net/HttpServer.h"

#include <microhttpd.h>

namespace tavrin::http {

struct Server::Context {
    Server* server = nullptr;
    const Options* options = nullptr;
    Handler* handler = nullptr;
};

namespace connection {

MHD_Result access(void* cls, MHD_Connection* connection, const char* url, const char* method, const char* version,
                  const char* uploadData, size_t* uploadDataSize, void** requestContext);
void completed(void* cls, MHD_Connection* connection, void** requestContext, MHD_RequestTerminationCode code);
// Leaves targets as sent: services decode segments themselves, so an encoded "/" stays inside one.
size_t keepEscaped(void* cls, MHD_Connection* connection, char* text);

} // namespace connection
} // namespace tavrin::http
