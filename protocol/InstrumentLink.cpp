#include "InstrumentLink.h"

std::uint16_t TInstrumentLink::Word(int i) const
{
    return static_cast<std::uint16_t>(ExchangeBuffer[2 * i] << 8 | ExchangeBuffer[2 * i + 1]);
}

void TInstrumentLink::SetWord(int i, std::uint16_t value)
{
    ExchangeBuffer[2 * i] = static_cast<std::uint8_t>(value >> 8);
    ExchangeBuffer[2 * i + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// Link primitives.

bool TInstrumentLink::SendCommand(std::uint8_t command)
{
    // Whatever the chain holds: no stray byte of an earlier exchange may pass for this one's echo.
    Port->BeginExchange();
    if (!LinkOk)
        return false;
    if (!Port->WriteByte(command))
        return false;
    if (!Port->ReadByte(Reply))
        return false;
    if (Reply != command)
        return false;
    // The checksum starts with the first byte after the echo.
    Port->Checksum = 0;
    return true;
}

bool TInstrumentLink::SendAddress(int address)
{
    if (!LinkOk)
        return false;
    const std::uint8_t high = static_cast<std::uint8_t>(address >> 8);
    const std::uint8_t low = static_cast<std::uint8_t>(address & 0xFF);
    return Port->WriteByte(high) && Port->WriteByte(low);
}

bool TInstrumentLink::ReadWords(int count)
{
    if (!LinkOk)
        return false;
    for (int i = 0; i < 2 * count; ++i) {
        if (!Port->ReadByte(ExchangeBuffer[i]))
            return false;
    }
    return true;
}

bool TInstrumentLink::WriteWords(int count)
{
    if (!LinkOk)
        return false;
    for (int i = 0; i < count; ++i) {
        // The instrument asks for each word with a zero byte; nothing of the word goes before it.
        if (!Port->ReadByte(Reply) || Reply != 0)
            return false;
        Port->WriteByte(ExchangeBuffer[2 * i]);
        Port->WriteByte(ExchangeBuffer[2 * i + 1]);
    }
    return true;
}

bool TInstrumentLink::VerifyChecksum()
{
    if (!LinkOk)
        return false;
    // A checksum byte that does not come leaves Reply as it was, and that byte is compared.
    Port->ReadChecksumByte(Reply);
    return Port->Checksum == Reply;
}

// Transactions.

//   host AA | inst AA, part, month count, serial hi, serial lo     (no checksum)
void TInstrumentLink::OpenSession()
{
    LinkOk = true;
    LinkOk = SendCommand(Command::OpenSession);
    LinkOk = ReadWords(2);
}

//   host 55                                                         (nothing follows)
void TInstrumentLink::CloseSession(TCloseForm form)
{
    if (form == TCloseForm::Raw) {
        const std::uint8_t command = Command::CloseSession;
        Port->WriteByte(command);
    } else {
        SendCommand(Command::CloseSession);
    }
}

//   host 01 | inst 01, identity record (4 bytes), checksum
void TInstrumentLink::GetID()
{
    LinkOk = true;
    LinkOk = SendCommand(Command::GetID);
    LinkOk = ReadWords(2);
    LinkOk = VerifyChecksum();
}

//   host 81 | inst 81, 00 | host word 0 | inst 00 | host word 1 | inst checksum
void TInstrumentLink::PutID()
{
    LinkOk = true;
    LinkOk = SendCommand(Command::PutID);
    LinkOk = WriteWords(2);
    LinkOk = VerifyChecksum();
}

void TInstrumentLink::GetData()
{
    ReadMemory(BlockEeprom, MemoryMap::Settings, 2);
}

void TInstrumentLink::PutData()
{
    WriteMemory(BlockEeprom, MemoryMap::Settings, 2);
}

//   host 07 [host 07 again when the first is not echoed] | inst 07, status, checksum (= status)
bool TInstrumentLink::GetStatus()
{
    LinkOk = true;
    if (!SendCommand(Command::GetStatus) && !SendCommand(Command::GetStatus))
        return false;
    LinkOk = Port->ReadByte(Reply);
    LinkOk = VerifyChecksum();
    return true;
}

//   host 06 | inst 06, code word                                    (no checksum)
void TInstrumentLink::GetCode()
{
    LinkOk = SendCommand(Command::GetCode);
    LinkOk = ReadWords(1);
}

//   host 04 | inst 04, gap word                                     (no checksum)
void TInstrumentLink::GetGap()
{
    LinkOk = SendCommand(Command::GetGap);
    LinkOk = ReadWords(1);
}

//   host b*20+n | inst echo | host address hi, lo | inst n words, checksum
void TInstrumentLink::ReadMemory(int block, int address, int words)
{
    LinkOk = SendCommand(Command::ReadMemory(block, words));
    LinkOk = SendAddress(address);
    LinkOk = ReadWords(words);
    LinkOk = VerifyChecksum();
}

//   host 80+b*20+n | inst echo | host address hi, lo | (inst 00 | host word) x n | inst checksum
void TInstrumentLink::WriteMemory(int block, int address, int words)
{
    LinkOk = SendCommand(Command::WriteMemory(block, words));
    LinkOk = SendAddress(address);
    LinkOk = WriteWords(words);
    LinkOk = VerifyChecksum();
}

// Chains.

void TInstrumentLink::RunChain(int count, const std::function<void(int)>& exchange, const TReceived& received)
{
    for (int i = 0; i < count; ++i) {
        exchange(i);
        if (LinkOk && received)
            received(i);
    }
}

void TInstrumentLink::GetTable(int block, int base, int maxEntries, TTableHeader& header, const TReceived& entryRead)
{
    LinkOk = true;
    ReadMemory(block, base, 1);
    if (!LinkOk)
        return;
    header.Range = ExchangeBuffer[0] >> 7;
    header.Count = ExchangeBuffer[1];
    const int entries = header.Count < maxEntries ? header.Count : maxEntries;
    RunChain(entries, [&](int i) { ReadMemory(block, MemoryMap::TableEntry(base, i), 2); }, entryRead);
}

void TInstrumentLink::PutTable(int block, int base, int count, const TPrepare& prepareEntry)
{
    LinkOk = true;
    WriteMemory(block, base, 1);
    RunChain(
        count,
        [&](int i) {
            prepareEntry(i);
            WriteMemory(block, MemoryMap::TableEntry(base, i), 2);
        },
        nullptr);
}

int TInstrumentLink::GetPage(int page, const TReceived& valueRead)
{
    LinkOk = true;
    ReadMemory(BlockSeeprom, MemoryMap::Page(page), 1);
    if (!LinkOk)
        return 0;
    const int count = ExchangeBuffer[1];
    if (MemoryMap::PageEmpty(count))
        return count;
    RunChain(count, [&](int e) { ReadMemory(BlockSeeprom, MemoryMap::PageValue(page, e), 1); }, valueRead);
    return count;
}

void TInstrumentLink::ReadWindow(int block, int window, const TReceived& wordRead)
{
    LinkOk = true;
    RunChain(
        MemoryMap::WindowWords, [&](int i) { ReadMemory(block, MemoryMap::Window(window) + 2 * i, 1); }, wordRead);
}
