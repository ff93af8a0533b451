// Reading a request's head and its form fields, as browsers and worse send them.
#include <gtest/gtest.h>

#include "server/web/request/request_head.h"

namespace navlet::web {
namespace {

int Parse(std::string_view head, THttpRequest& request, THeadLimits limits = {}) {
    size_t end = FindHeadEnd(head);
    if (end == std::string_view::npos)
        return -1;
    return ParseRequestHead(head.substr(0, end), limits, request);
}

TEST(FormDecoding, EscapesPlusAndMalformedPieces) {
    TFormFields fields;
    ASSERT_TRUE(
        DecodeForm("nick=J%C3%B6rg+K&&pw=a%2Bb%3D&empty=&bare&bad=%G1%4&nul=%00x", 10, fields));
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(FieldValue(fields, "nick"), "J\xC3\xB6rg K");
    EXPECT_EQ(FieldValue(fields, "pw"), "a+b=");
    EXPECT_TRUE(HasField(fields, "empty"));
    EXPECT_TRUE(HasField(fields, "bare"));
    EXPECT_EQ(FieldValue(fields, "bad"), "%G1%4"); // left as browsers leave it
    EXPECT_EQ(FieldValue(fields, "nul"), std::string("\0x", 2));
    EXPECT_FALSE(HasField(fields, "missing"));
    // The first of two fields of one name counts.
    fields.clear();
    ASSERT_TRUE(DecodeForm("a=1&a=2", 10, fields));
    EXPECT_EQ(FieldValue(fields, "a"), "1");
    // Past the bound the form is refused, holding no more than the bound.
    fields.clear();
    EXPECT_FALSE(DecodeForm("a&b&c&d", 3, fields));
    EXPECT_EQ(fields.size(), 3u);
}

TEST(RequestHead, ReadsWhatBrowsersSend) {
    THttpRequest r;
    ASSERT_EQ(Parse("GET /viewprofile.asp?idUtente=5&idLocale=9 HTTP/1.1\r\n"
                    "Host: x\r\nCOOKIE:  a=b \r\n\r\nrest",
                    r),
              0);
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "/viewprofile.asp");
    EXPECT_EQ(r.query, "idUtente=5&idLocale=9");
    EXPECT_EQ(r.Header("cookie"), "a=b");
    EXPECT_TRUE(r.keepAlive);
    // Bare line feeds, HTTP/1.0 and its keep-alive; a form body's fields follow the query's.
    THttpRequest post;
    ASSERT_EQ(Parse("POST /newuser.asp?nick=q HTTP/1.0\nContent-Length: 9\n"
                    "Content-Type: application/x-www-form-urlencoded; charset=utf-8\n\n",
                    post),
              0);
    EXPECT_EQ(post.contentLength, 9u);
    EXPECT_FALSE(post.keepAlive);
    post.body = "nick=b&x=";
    ASSERT_TRUE(DecodeRequestFields({}, post));
    ASSERT_EQ(post.fields.size(), 3u);
    EXPECT_EQ(FieldValue(post.fields, "nick"), "q");
    EXPECT_EQ(post.fields[1].second, "b");
    THttpRequest old;
    ASSERT_EQ(Parse("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", old), 0);
    EXPECT_TRUE(old.keepAlive);
    THttpRequest closing;
    ASSERT_EQ(Parse("GET / HTTP/1.1\r\nConnection: close\r\n\r\n", closing), 0);
    EXPECT_FALSE(closing.keepAlive);
}

TEST(RequestHead, RefusesMalformedAndOversizedHeads) {
    struct Case {
        const char* what;
        std::string head;
        int status;
    };
    const Case cases[] = {
        {"no target", "GET HTTP/1.1\r\n\r\n", 400},
        {"target not a path", "GET http://x/ HTTP/1.1\r\n\r\n", 400},
        {"control byte in target", "GET /a\x01 HTTP/1.1\r\n\r\n", 400},
        {"not HTTP", "GET / FTP/1.0\r\n\r\n", 400},
        {"HTTP/2", "GET / HTTP/2.0\r\n\r\n", 505},
        {"field without colon", "GET / HTTP/1.1\r\nbroken\r\n\r\n", 400},
        {"folded field", "GET / HTTP/1.1\r\na: b\r\n c\r\n\r\n", 400},
        {"blank in field name", "GET / HTTP/1.1\r\nbad name: x\r\n\r\n", 400},
        {"chunked body", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"two lengths", "POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\n", 400},
        {"signed length", "POST / HTTP/1.1\r\nContent-Length: +3\r\n\r\n", 400},
        {"body too large", "POST / HTTP/1.1\r\nContent-Length: 8193\r\n\r\n", 413},
        {"length past 64 bits",
         "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", 413},
    };
    for (const Case& c : cases) {
        THttpRequest r;
        EXPECT_EQ(Parse(c.head, r), c.status) << c.what;
    }
    // Field count and head size are bounded whatever the fields hold.
    std::string many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 65; ++i)
        many += "a:b\r\n";
    THttpRequest r;
    EXPECT_EQ(Parse(many + "\r\n", r), 431);
    THeadLimits small;
    small.maxHeadBytes = 64;
    THttpRequest big;
    EXPECT_EQ(Parse("GET / HTTP/1.1\r\nx: " + std::string(60, 'y') + "\r\n\r\n", big, small), 431);
    EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\r\nHost: x\r\n"), std::string_view::npos);
}

} // namespace
} // namespace navlet::web
