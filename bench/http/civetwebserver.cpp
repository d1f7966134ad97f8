// civetweb with its default worker threads, answering one byte.
#include <civetweb.h>

#include <csignal>
#include <string>
#include <unistd.h>

static int answer(struct mg_connection* connection, void*)
{
    mg_printf(connection, "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx");
    return 200;
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string ports = std::string("127.0.0.1:") + argv[1];
    const char* options[] = {"listening_ports", ports.c_str(), "enable_keep_alive", "yes", nullptr};
    mg_init_library(0);
    struct mg_callbacks callbacks = {};
    struct mg_context* context = mg_start(&callbacks, nullptr, options);
    if (!context)
        return 1;
    mg_set_request_handler(context, "/", answer, nullptr);
    pause();
    mg_stop(context);
    return 0;
}
