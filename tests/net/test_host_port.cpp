// The address reading shared by pla013-server --listen, pla013 --server,
// pla013 serve --listen and the desktop host.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/net/HostPort.h"

namespace {

using pla013::net::HostPort;
using pla013::net::HostPortError;

struct Good {
    const char* text;
    std::optional<std::string> defaultHost;
    const char* host;
    int port;
    bool tls = false;
};

TEST(HostPort, ReadsEveryAcceptedForm) {
    const Good cases[] = {
        {"127.0.0.1:8013", std::nullopt, "127.0.0.1", 8013},
        {"cozinha.local:80", std::nullopt, "cozinha.local", 80},
        {"[::1]:8013", std::nullopt, "::1", 8013},
        {"[fe80::1%eth0]:1", std::nullopt, "fe80::1%eth0", 1},
        {"localhost:0", std::nullopt, "localhost", 0},
        {"localhost:65535", std::nullopt, "localhost", 65535},
        {"localhost:00080", std::nullopt, "localhost", 80},
        {"8013", std::string("127.0.0.1"), "127.0.0.1", 8013},
        {"[::]:9", std::string("127.0.0.1"), "::", 9},
        {"http://cozinha.local:8013", std::nullopt, "cozinha.local", 8013},
        {"HTTP://127.0.0.1:80/", std::nullopt, "127.0.0.1", 80},
        {"http://[::1]:8013", std::string("127.0.0.1"), "::1", 8013},
        {"https://cozinha.local:8443", std::nullopt, "cozinha.local", 8443, true},
        {"HTTPS://[::1]:8443/", std::string("127.0.0.1"), "::1", 8443, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const HostPort hp = HostPort::parse(c.text, c.defaultHost);
        EXPECT_EQ(hp.host, c.host);
        EXPECT_EQ(hp.port, c.port);
        EXPECT_EQ(hp.tls, c.tls);
        // What text() writes is read back as the same address.
        const HostPort again = HostPort::parse(hp.text());
        EXPECT_EQ(again.host, hp.host);
        EXPECT_EQ(again.port, hp.port);
        EXPECT_EQ(again.tls, hp.tls);
    }
    EXPECT_EQ(HostPort::parse("[::1]:8013").text(), "[::1]:8013");
    EXPECT_EQ(HostPort::parse("127.0.0.1:8013").text(), "127.0.0.1:8013");
    EXPECT_EQ(HostPort::parse("https://[::1]:8443/").text(), "https://[::1]:8443");
}

struct Bad {
    const char* text;
    bool withDefaultHost;
    const char* message;  // part of what()
};

TEST(HostPort, RefusesWithAReasonThatQuotesTheText) {
    const Bad cases[] = {
        {"", false, "expected HOST:PORT, got \"\""},
        {"", true, "expected HOST:PORT, got \"\""},
        {"localhost", false, "expected HOST:PORT, got \"localhost\""},
        {"localhost:", false, "\"\" is not a port number (0 to 65535)"},
        {"localhost:http", false, "\"http\" is not a port number"},
        {"localhost:-1", false, "\"-1\" is not a port number"},
        {"localhost:65536", false, "\"65536\" is not a port number"},
        {"localhost:123456", false, "\"123456\" is not a port number"},
        {"localhost:80 ", false, "\"80 \" is not a port number"},
        {"http", true, "\"http\" is not a port number"},
        {":8013", false, "the host is empty in \":8013\""},
        {"[]:8013", false, "the host is empty in \"[]:8013\""},
        {"[::1:8013", false, "expected [HOST]:PORT, got \"[::1:8013\""},
        {"[::1]", false, "the port is missing in \"[::1]\""},
        {"[::1]8013", false, "the port is missing in \"[::1]8013\""},
        {"[::1]:", false, "\"\" is not a port number"},
        {"::1:8013", false, "an IPv6 address is written in brackets"},
        {"ftp://[::1]:21", false, "speaks HTTP or HTTPS: write http://HOST:PORT, https://HOST:PORT or HOST:PORT, not"},
        {"://cozinha:8013", false, "speaks HTTP or HTTPS"},
        {"https://cozinha", false, "expected HOST:PORT, got \"https://cozinha\""},
        {"https://cozinha:8443/call", false, "an address has no path"},
        {"http://cozinha:8013/call", false, "an address has no path"},
        {"http://cozinha", false, "expected HOST:PORT, got \"http://cozinha\""},
        {"http://8013", true, "expected HOST:PORT, got \"http://8013\""},
        {"http://:8013", false, "the host is empty in \"http://:8013\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            HostPort::parse(c.text, c.withDefaultHost ? std::optional<std::string>("127.0.0.1") : std::nullopt);
            ADD_FAILURE() << "accepted";
        } catch (const HostPortError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(HostPort, ReadsAListOfServersAndRefusesABadOne) {
    const struct {
        const char* text;
        const char* read;     // formatHostPortList of the result, or nullptr
        const char* message;  // part of what() when refused
    } cases[] = {
        {"127.0.0.1:8013", "127.0.0.1:8013", nullptr},
        {"a:1,b:2", "a:1, b:2", nullptr},
        {" a:1 ,\tb:2 ", "a:1, b:2", nullptr},
        {"http://a:1/,[::1]:2,b:3", "a:1, [::1]:2, b:3", nullptr},
        {"a:1,b:1", "a:1, b:1", nullptr},
        {"http://a:1, https://b:2", "a:1, https://b:2", nullptr},
        {"https://a:1,a:1", nullptr, "names \"a:1\" twice"},
        {"", nullptr, "expected HOST:PORT, got \"\""},
        {"a:1,", nullptr, "the list of servers \"a:1,\" has an empty element"},
        {",a:1", nullptr, "has an empty element"},
        {"a:1, ,b:2", nullptr, "has an empty element"},
        {"a:1,b:2,A:1", nullptr, "the list of servers \"a:1,b:2,A:1\" names \"A:1\" twice"},
        {"http://a:1,a:1", nullptr, "names \"a:1\" twice"},
        {"a:1,b", nullptr, "expected HOST:PORT, got \"b\""},
        {"a:1,::1:2", nullptr, "an IPv6 address is written in brackets"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            const std::string read = pla013::net::formatHostPortList(HostPort::parseList(c.text));
            if (c.read)
                EXPECT_EQ(read, c.read);
            else
                ADD_FAILURE() << "accepted as " << read;
        } catch (const HostPortError& e) {
            if (c.read)
                ADD_FAILURE() << e.what();
            else
                EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(HostPort, TellsLoopbackFromTheNetwork) {
    for (const char* host : {"127.0.0.1", "127.200.0.9", "::1", "localhost", "LocalHost"})
        EXPECT_TRUE(pla013::net::isLoopbackHost(host)) << host;
    for (const char* host : {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "cozinha.local", "localhost.cozinha", ""})
        EXPECT_FALSE(pla013::net::isLoopbackHost(host)) << host;
}

}  // namespace
