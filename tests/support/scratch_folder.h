// A folder of its own beside the test program for tests that write files, emptied and
// removed after each test.
#pragma once

#include "file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dirent.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace dfutest {

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = "scratch-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
#if defined(_WIN32)
        CreateDirectoryW(korvex::PathFromText(m_folder).c_str(), nullptr);
#else
        ::mkdir(m_folder.c_str(), 0700);
#endif
    }
    void TearDown() override
    {
        for (const std::string& name : Names()) std::remove((m_folder + "/" + name).c_str());
#if defined(_WIN32)
        RemoveDirectoryW(korvex::PathFromText(m_folder).c_str());
#else
        ::rmdir(m_folder.c_str());
#endif
    }
    korvex::Path In(const std::string& name) const
    {
        return korvex::PathFromText(m_folder + "/" + name);
    }
    void Put(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_folder + "/" + name, std::ios::binary) << bytes;
    }
    std::string Get(const std::string& name) const
    {
        std::ifstream file(m_folder + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
#if defined(_WIN32)
        WIN32_FIND_DATAA found;
        const HANDLE find = FindFirstFileA((m_folder + "/*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            if (found.cFileName[0] != '.') names.push_back(found.cFileName);
        } while (FindNextFileA(find, &found));
        FindClose(find);
#else
        if (DIR* dir = ::opendir(m_folder.c_str())) {
            while (const dirent* entry = ::readdir(dir))
                if (entry->d_name[0] != '.') names.push_back(entry->d_name);
            ::closedir(dir);
        }
#endif
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string m_folder;
};

}  // namespace dfutest
