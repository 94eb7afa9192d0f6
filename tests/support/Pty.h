// A bare pseudo-terminal: the far end of a serial line that a test speaks for itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TPty {
public:
    TPty();  // opens the pair raw; Path() is the terminal side, the test holds the master
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& Path() const { return SlavePath; }
    void Write(const std::vector<std::uint8_t>& bytes);
    // Everything that arrives within waitMs of the last byte.
    std::vector<std::uint8_t> Read(int waitMs = 20);
    // Closes the master: the device is gone for whoever holds the terminal side.
    void Hangup();

private:
    int Master = -1;
    int KeepOpen = -1;  // our own handle on the terminal side, so that the port may close and reopen it
    std::string SlavePath;
};
