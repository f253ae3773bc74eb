// Turns a fuzzer's bytes into the pieces of a scripted machine, and checks what every run of the
// wrapper must satisfy whatever its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

    // Bytes up to the next zero byte (not included), or to the end.
    std::string Text() {
        std::string text;
        while (position_ < size_ && data_[position_] != 0) {
            text += static_cast<char>(data_[position_++]);
        }
        if (position_ < size_) {
            ++position_;
        }
        return text;
    }

    bool Empty() const { return position_ >= size_; }

    std::vector<std::string> Texts(std::size_t most) {
        std::vector<std::string> texts;
        while (!Empty() && texts.size() < most) {
            texts.push_back(Text());
        }
        return texts;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A fresh machine whose answers come from the input: system version and bitness, the question's
// answer, the device calls, the installed release, environment values, the current folder and
// a few existing folders.
void ScriptMachine(FuzzInput& input);

// Aborts, so that the fuzzer reports the input, when a recorded run breaks a guarantee: exit codes
// 0 to 7 only; every command fits its buffer, starts as one of ours and holds no double quote
// but the two around the log path; nothing runs after a refusal.
void CheckRun(int exitCode);
// For whole runs: an installation that cannot be carried out is found out before anything is
// removed; only a setup that then fails to start ends one with 5 after a removal.
void CheckNothingRemovedInVain(int exitCode);

// Aborts when an accepted log path could not be placed safely in a command line.
void CheckAcceptedLogPath(const std::string& path);
