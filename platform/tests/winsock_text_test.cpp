#include <gtest/gtest.h>

#include "platform/winsock_text.h"

namespace {

TEST(WinsockErrorText, EveryNamedCode) {
    const std::pair<int, const char*> names[] = {
        {-1, "SOCKET_ERROR"},       {10004, "INTR"},           {10009, "BADF"},
        {10013, "ACCES"},           {10014, "FAULT"},          {10022, "INVAL"},
        {10024, "MFILE"},           {10035, "WOULDBLOCK"},     {10036, "INPROGRESS"},
        {10037, "ALREADY"},         {10038, "NOTSOCK"},        {10039, "DESTADDRREQ"},
        {10040, "MSGSIZE"},         {10041, "PROTOTYPE"},      {10042, "NOPROTOOPT"},
        {10043, "PROTONOSUPPORT"},  {10044, "SOCKTNOSUPPORT"}, {10045, "OPNOTSUPP"},
        {10046, "PFNOSUPPORT"},     {10047, "AFNOSUPPORT"},    {10048, "ADDRINUSE"},
        {10049, "ADDRNOTAVAIL"},    {10050, "NETDOWN"},        {10051, "NETUNREACH"},
        {10052, "NETRESET"},        {10053, "CONNABORTED"},    {10054, "CONNRESET"},
        {10055, "NOBUFS"},          {10056, "ISCONN"},         {10057, "NOTCONN"},
        {10058, "SHUTDOWN"},        {10059, "TOOMANYREFS"},    {10060, "TIMEDOUT"},
        {10061, "CONNREFUSED"},     {10062, "LOOP"},           {10063, "NAMETOOLONG"},
        {10064, "HOSTDOWN"},        {10065, "HOSTUNREACH"},    {10066, "NOTEMPTY"},
        {10067, "PROCLIM"},         {10068, "USERS"},          {10069, "DQUOT"},
        {10070, "STALE"},           {10071, "REMOTE"},         {10091, "SYSNOTREADY"},
        {10092, "VERNOTSUPPORTED"}, {10093, "NOTINITIALISED"}, {10101, "DISCON"},
        {11001, "HOST_NOT_FOUND"},  {11002, "TRY_AGAIN"},      {11003, "NO_RECOVERY"},
        {11004, "NO_DATA"},
    };
    ASSERT_EQ(std::size(names), 52u);
    for (const auto& [code, name] : names) {
        EXPECT_EQ(qor::WinsockErrorText(code), std::to_string(code) + ":" + name);
        EXPECT_LE(std::string(name).size(), 15u);
    }
}

TEST(WinsockErrorText, ZeroIsEmpty) { EXPECT_EQ(qor::WinsockErrorText(0), ""); }

TEST(WinsockErrorText, UnlistedCodesAreUnknown) {
    for (int code : {10072, 10090, 10094, 10100, 10102, 11000, 11005, 5, 1, 10003, 10005, 99999}) {
        EXPECT_EQ(qor::WinsockErrorText(code), std::to_string(code) + ":ERROR UNKNOWN");
    }
    EXPECT_EQ(qor::WinsockErrorText(-2), "-2:ERROR UNKNOWN");
    EXPECT_EQ(qor::WinsockErrorText(-2147483647 - 1), "-2147483648:ERROR UNKNOWN");
}

}  // namespace
