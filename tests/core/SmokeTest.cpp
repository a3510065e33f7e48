#include <gtest/gtest.h>
#include <windows.h>
TEST(Smoke, AnsiCodePageIs932) { EXPECT_EQ(932u, GetACP()); }
