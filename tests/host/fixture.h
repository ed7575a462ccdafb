/* Common fixture of the host tests: a fresh stand-in machine per test, and a check that every
   find handle, registry key and text file the program opened was released. */

#ifndef VORNEL_HOST_FIXTURE_H
#define VORNEL_HOST_FIXTURE_H

#include "standin.h"
#include "vornel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class HostTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    /* What MoveFileExA was asked to record, in call order. */
    static std::vector<std::string> Recorded();
};

/* Lines joined with CR LF after each. */
std::string CrLf(const std::vector<std::string>& lines);

/* A string of n copies of c. */
std::string Repeat(char c, std::size_t n);

/* The calls of one function rendered for failure messages. */
std::string Describe(const std::vector<standin::Call>& calls);

#endif
