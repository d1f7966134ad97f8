// cpp-httplib as its users build it (TCP_NODELAY on, a pool of 100 threads), answering one byte.
// The packaged library is compiled already, so CPPHTTPLIB_TCP_NODELAY cannot reach its
// constructor: the setter does what the macro would.
#include <httplib.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    httplib::Server server;
    server.set_tcp_nodelay(true);
    server.new_task_queue = [] { return new httplib::ThreadPool(100); };
    server.Get("/", [](const httplib::Request&, httplib::Response& response) { response.set_content("x", "text/plain"); });
    return server.listen("127.0.0.1", atoi(argv[1])) ? 0 : 1;
}
