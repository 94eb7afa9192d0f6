// The instrument link: the framing of every exchange and the instrument's command set.
//
// Two exchange shapes, the checksum being the end-around-carry sum of the bytes marked "sum":
//
//   read                                  write
//   host  command                         host  command
//   inst  command (echo)                  inst  command (echo)
//   host  [address hi, lo]       sum      host  [address hi, lo]            sum
//   inst  n words, hi byte first sum      inst  0x00 ack   } per word      sum
//   inst  [checksum]                      host  word hi,lo }               sum
//                                         inst  checksum
//
// A transaction sets LinkOk true, stores every step's result in it and is judged by it at the end;
// every step returns false at once while LinkOk is false, so after the first failure a chain sends
// nothing more (only SendCommand still empties the queues). Nothing here logs.
#pragma once

#include "Commport.h"

#include <cstdint>
#include <functional>
#include <memory>

// The instrument's memory blocks, numbered as the memory-access commands carry them.
enum TMemoryBlock : int { BlockRam = 1, BlockEeprom = 2, BlockSeeprom = 3 };

namespace Command {
constexpr std::uint8_t GetID = 0x01;
constexpr std::uint8_t GetGap = 0x04;
constexpr std::uint8_t GetCode = 0x06;
constexpr std::uint8_t GetStatus = 0x07;
constexpr std::uint8_t PutID = 0x81;
constexpr std::uint8_t OpenSession = 0xAA;
constexpr std::uint8_t CloseSession = 0x55;
// Memory access: bit 7 write, bits 5-6 the block, bits 0-1 the number of words.
constexpr std::uint8_t ReadMemory(int block, int words) { return static_cast<std::uint8_t>(block * 0x20 + words); }
constexpr std::uint8_t WriteMemory(int block, int words) { return static_cast<std::uint8_t>(0x80 + block * 0x20 + words); }
}  // namespace Command

// Where things lie in the instrument's memory.
namespace MemoryMap {
constexpr int Settings = 0x0002;                 // EEPROM, two words
constexpr int EepromTable = 0x0020;              // the one EEPROM calibration table
constexpr int SeepromTableSize = 0x80;           // eight tables at k * 0x80
constexpr int SeepromTableEntries = 31;          // (0x80 - 4) / 4
constexpr int EepromTableEntries = 255;          // as many as the header's count byte holds
constexpr int TableEntry(int base, int i) { return base + 4 + 4 * i; }
constexpr int Pages = 8;
constexpr int PageValuesMax = 122;               // 0x0C + 2 * 122 = 0x100
// A page header's count of 0, or of more than a page holds, marks the page empty.
constexpr bool PageEmpty(int count) { return count == 0 || count > PageValuesMax; }
constexpr int Page(int p) { return 0x0400 + p * 0x100; }
constexpr int PageValue(int p, int e) { return Page(p) + 0x0C + 2 * e; }
constexpr int WindowWords = 128;                 // a memory browser window: 256 bytes
constexpr int Window(int w) { return w * 0x100; }
}  // namespace MemoryMap

enum class TCloseForm {
    Raw,     // the byte alone, no echo awaited: works whatever state the instrument is in
    Echoed,  // through SendCommand, so only while the last transaction succeeded
};

// A calibration table's header word: bit 7 of the high byte the range, the low byte the entry count.
struct TTableHeader {
    int Range = 0;
    int Count = 0;
};

class TInstrumentLink {
public:
    // Called with an exchange's index after each exchange of a chain that succeeded;
    // its words are in ExchangeBuffer then.
    using TReceived = std::function<void(int index)>;
    // Called with an exchange's index before each exchange of a chain, to put its words into ExchangeBuffer.
    using TPrepare = std::function<void(int index)>;

    // Word i of ExchangeBuffer: bytes 2i (high) and 2i + 1 (low).
    std::uint16_t Word(int i) const;
    void SetWord(int i, std::uint16_t value);

    // Link primitives.
    bool SendCommand(std::uint8_t command);
    bool SendAddress(int address);
    bool ReadWords(int count);
    bool WriteWords(int count);
    bool VerifyChecksum();

    // Transactions.
    void OpenSession();
    void CloseSession(TCloseForm form);
    void GetID();
    void PutID();
    void GetData();  // continues the running chain
    void PutData();  // continues the running chain
    // Whether one of the two command attempts was echoed; the status byte is left in Reply.
    bool GetStatus();
    void GetCode();  // continues the running chain
    void GetGap();   // continues the running chain
    void ReadMemory(int block, int address, int words);
    void WriteMemory(int block, int address, int words);

    // Chains. Each starts LinkOk afresh and hands the words of every good exchange to its caller.
    // GetTable reads the header into `header` and at most maxEntries of the entries it announces.
    void GetTable(int block, int base, int maxEntries, TTableHeader& header, const TReceived& entryRead);
    // The caller has put the header word into ExchangeBuffer; prepareEntry fills each entry's two words.
    void PutTable(int block, int base, int count, const TPrepare& prepareEntry);
    // The page's count byte (0 when the header read failed); the values follow only when it is 1 to 122.
    int GetPage(int page, const TReceived& valueRead);
    void ReadWindow(int block, int window, const TReceived& wordRead);

    std::unique_ptr<TCommPort> Port;
    bool LinkOk = false;
    std::uint8_t ExchangeBuffer[256] = {};
    std::uint8_t Reply = 0;

private:
    // The one place a chain of exchanges is driven: every exchange runs, LinkOk decides what it sends.
    void RunChain(int count, const std::function<void(int)>& exchange, const TReceived& received);
};
