// A fresh temporary working directory for each test that reads a settings file; the previous
// working directory is restored and the folder removed afterwards, whether or not the test passed.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

class ScratchDir : public testing::Test {
  protected:
    void SetUp() override {
        old_dir_ = std::filesystem::current_path();
        std::string pattern =
            (std::filesystem::temp_directory_path() / "brontavel-config-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        ASSERT_EQ(0, chdir(dir_.c_str()));
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::current_path(old_dir_, ec);
        EXPECT_FALSE(ec) << "cannot return to " << old_dir_;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    static void write(const std::string& text, const char* name = "brontavel.ini") {
        std::ofstream(name, std::ios::binary) << text;
    }

  private:
    std::filesystem::path old_dir_;
    std::string dir_;
};
