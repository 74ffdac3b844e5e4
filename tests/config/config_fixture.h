// Each test runs in a fresh temporary working directory, removed afterwards.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

class ScratchDir : public testing::Test {
  protected:
    void SetUp() override {
        old_dir_ = std::filesystem::current_path();
        dir_ = (std::filesystem::temp_directory_path() / "brontavel-config-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(dir_.data()));
        ASSERT_EQ(0, chdir(dir_.c_str()));
    }
    void TearDown() override {
        std::filesystem::current_path(old_dir_);
        std::filesystem::remove_all(dir_);
    }
    static void write(const std::string& text, const char* name = "brontavel.ini") {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    std::filesystem::path old_dir_;
    std::string dir_;
};
