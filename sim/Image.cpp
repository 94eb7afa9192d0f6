// The instrument's memory: the demonstration contents and the plain-text form of an image.
#include "Simulator.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <utility>

namespace trelvo::sim {

namespace {

constexpr int RowBytes = 16;
constexpr const char* BlockNames[] = {"RAM", "EEPROM", "SEEPROM"};

std::size_t BlockIndex(TBlock block)
{
    return static_cast<std::size_t>(static_cast<int>(block) - 1);
}

int Wrapped(int address)
{
    return address & (BlockSize - 1);
}

// A small deterministic generator, so that the demonstration image is the same on every run.
class TDemoNumbers {
public:
    explicit TDemoNumbers(std::uint32_t seed) : State(seed) {}
    int Around(int centre, int spread)
    {
        State = State * 1664525u + 1013904223u;
        return centre + static_cast<int>((State >> 8) % static_cast<std::uint32_t>(2 * spread + 1)) - spread;
    }

private:
    std::uint32_t State;
};

void PutTable(TImage& image, TBlock block, int base, int range, const std::vector<std::pair<int, int>>& entries)
{
    image.SetWord(block, base, static_cast<std::uint16_t>((range ? 0x8000 : 0) | entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int entry = base + 4 + 4 * static_cast<int>(i);
        image.SetWord(block, entry, static_cast<std::uint16_t>(entries[i].first));
        image.SetWord(block, entry + 2, static_cast<std::uint16_t>(entries[i].second));
    }
}

// Rising code/gap pairs: codes from firstCode in steps of codeStep, gaps from firstGap in steps of gapStep.
std::vector<std::pair<int, int>> RisingPairs(int count, int firstCode, int codeStep, int firstGap, int gapStep)
{
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < count; ++i)
        pairs.emplace_back(firstCode + i * codeStep, firstGap + i * gapStep);
    return pairs;
}

void PutPage(TImage& image, int page, int count, int centre, int spread, TDemoNumbers& numbers)
{
    const int base = 0x0400 + page * 0x100;
    image.SetWord(TBlock::Seeprom, base, static_cast<std::uint16_t>(count));
    image.SetWord(TBlock::Seeprom, base + 2, static_cast<std::uint16_t>(page + 1));
    for (int e = 0; e < count; ++e)
        image.SetWord(TBlock::Seeprom, base + 0x0C + 2 * e, static_cast<std::uint16_t>(numbers.Around(centre, spread)));
}

std::string_view Trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
        std::size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t')
            ++end;
        if (end > at)
            words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

bool SameLetters(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y)); });
}

// Hexadecimal digits, an optional 0x in front; at most maxDigits digits.
bool ParseHex(std::string_view text, int maxDigits, int& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || static_cast<int>(text.size()) > maxDigits)
        return false;
    value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    }
    return true;
}

std::string Quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

}  // namespace

std::uint8_t& TImage::At(TBlock block, int address)
{
    return Blocks.at(BlockIndex(block))[static_cast<std::size_t>(Wrapped(address))];
}

std::uint8_t TImage::At(TBlock block, int address) const
{
    return Blocks.at(BlockIndex(block))[static_cast<std::size_t>(Wrapped(address))];
}

std::uint16_t TImage::Word(TBlock block, int address) const
{
    return static_cast<std::uint16_t>(At(block, address) << 8 | At(block, address + 1));
}

void TImage::SetWord(TBlock block, int address, std::uint16_t value)
{
    At(block, address) = static_cast<std::uint8_t>(value >> 8);
    At(block, address + 1) = static_cast<std::uint8_t>(value & 0xFF);
}

TImage TImage::Demo()
{
    TImage image;
    // QZ5520 (part code 32), made in December of year 4 (4 x 12 + 11 = 59), serial number 300.
    image.Identity = {32, 59, 0x01, 0x2C};

    // RAM: a few working variables, the firmware's name, and the ring of the latest raw codes.
    TDemoNumbers numbers(20240);
    image.SetWord(TBlock::Ram, 0x0000, 0x0001);
    image.SetWord(TBlock::Ram, 0x0002, 1200);
    image.SetWord(TBlock::Ram, 0x0004, 500);
    image.SetWord(TBlock::Ram, 0x0006, 0x0010);
    const std::string_view firmware = "QZ5520 FW 2.07";
    for (std::size_t i = 0; i < firmware.size(); ++i)
        image.At(TBlock::Ram, 0x0010 + static_cast<int>(i)) = static_cast<std::uint8_t>(firmware[i]);
    for (int i = 0; i < 64; ++i)
        image.SetWord(TBlock::Ram, 0x0100 + 2 * i, static_cast<std::uint16_t>(numbers.Around(1200, 6)));

    // EEPROM: a format word, the settings record (trigger count 5, mask 0x0F, beep 3, shutdown 30), one table.
    image.SetWord(TBlock::Eeprom, 0x0000, 0x0207);
    image.SetWord(TBlock::Eeprom, 0x0002, 0x050F);
    image.SetWord(TBlock::Eeprom, 0x0004, 0x031E);
    PutTable(image, TBlock::Eeprom, 0x0020, 0, RisingPairs(5, 400, 350, 100, 150));

    // SEEPROM: calibration tables 0, 1, 2 and a full table 7; the others are empty.
    PutTable(image, TBlock::Seeprom, 0 * 0x80, 0, RisingPairs(6, 600, 240, 50, 110));
    PutTable(image, TBlock::Seeprom, 1 * 0x80, 1, RisingPairs(4, 900, 300, 1000, 1500));
    PutTable(image, TBlock::Seeprom, 2 * 0x80, 0, RisingPairs(8, 520, 180, 20, 75));
    PutTable(image, TBlock::Seeprom, 7 * 0x80, 1, RisingPairs(31, 300, 100, 200, 250));

    // Archive pages 0 to 5 hold measurements, page 2 is full; pages 6 and 7 are empty.
    const int counts[] = {18, 45, 122, 9, 73, 30};
    const int centres[] = {248, 512, 1000, 75, 330, 1500};
    for (int page = 0; page < 6; ++page)
        PutPage(image, page, counts[page], centres[page], 4 + centres[page] / 50, numbers);
    return image;
}

std::string TImage::ToText() const
{
    std::string text =
        "# Trelvo instrument image.\n"
        "# identity: part code, production month count (year x 12 + month - 1), serial number high and low byte.\n"
        "# Then each memory block as rows of 16 bytes, \"ADDRESS: bytes\", all in hexadecimal.\n"
        "# Rows that are not listed are zero. '#' starts a comment.\n";
    char line[128];
    std::snprintf(line, sizeof line, "identity %02X %02X %02X %02X\n", Identity[0], Identity[1], Identity[2], Identity[3]);
    text += line;
    for (std::size_t b = 0; b < Blocks.size(); ++b) {
        text += "\n[";
        text += BlockNames[b];
        text += "]\n";
        const auto& block = Blocks[b];
        for (int row = 0; row < BlockSize; row += RowBytes) {
            const auto first = block.begin() + row;
            if (std::all_of(first, first + RowBytes, [](std::uint8_t v) { return v == 0; }))
                continue;
            int used = std::snprintf(line, sizeof line, "0x%04X:", row);
            for (int i = 0; i < RowBytes; ++i)
                used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), " %02X", block[static_cast<std::size_t>(row + i)]);
            text += line;
            text += '\n';
        }
    }
    return text;
}

std::optional<TImage> TImage::FromText(const std::string& text, std::string& error)
{
    TImage image;
    bool haveIdentity = false;
    int section = -1;
    std::array<bool, 3> sectionSeen{};
    std::array<std::array<bool, BlockSize / RowBytes>, 3> rowSeen{};
    int lineNumber = 0;
    const auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNumber) + ": " + why;
        return std::nullopt;
    };

    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        ++lineNumber;
        if (const auto comment = line.find('#'); comment != std::string_view::npos)
            line = line.substr(0, comment);
        line = Trimmed(line);
        if (line.empty())
            continue;

        if (line.front() == '[') {
            if (line.back() != ']')
                return fail("a section header must end with ']'");
            const std::string_view name = Trimmed(line.substr(1, line.size() - 2));
            const auto known = std::find_if(std::begin(BlockNames), std::end(BlockNames), [&](const char* n) { return SameLetters(name, n); });
            if (known == std::end(BlockNames))
                return fail("unknown section " + Quoted(line) + "; the sections are [RAM], [EEPROM] and [SEEPROM]");
            section = static_cast<int>(known - std::begin(BlockNames));
            if (sectionSeen[static_cast<std::size_t>(section)])
                return fail("section [" + std::string(BlockNames[section]) + "] appears twice");
            sectionSeen[static_cast<std::size_t>(section)] = true;
            continue;
        }

        const auto words = Words(line);
        if (SameLetters(words.front(), "identity")) {
            if (haveIdentity)
                return fail("a second identity line");
            if (words.size() != 5)
                return fail("the identity line needs 4 bytes, found " + std::to_string(words.size() - 1));
            for (std::size_t i = 0; i < 4; ++i) {
                int value = 0;
                if (!ParseHex(words[i + 1], 2, value))
                    return fail(Quoted(words[i + 1]) + " is not a hexadecimal byte");
                image.Identity[i] = static_cast<std::uint8_t>(value);
            }
            haveIdentity = true;
            continue;
        }

        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return fail("expected 'identity', a section header or a row \"ADDRESS: 16 bytes\", found " + Quoted(line));
        if (section < 0)
            return fail("a memory row before the first section header ([RAM], [EEPROM] or [SEEPROM])");
        const std::string_view addressText = Trimmed(line.substr(0, colon));
        int address = 0;
        if (!ParseHex(addressText, 4, address))
            return fail(Quoted(addressText) + " is not a hexadecimal address");
        if (address >= BlockSize || address % RowBytes != 0)
            return fail("row address " + Quoted(addressText) + " must be a multiple of 0x10 below 0x1000");
        auto& seen = rowSeen[static_cast<std::size_t>(section)][static_cast<std::size_t>(address / RowBytes)];
        if (seen)
            return fail("row " + Quoted(addressText) + " appears twice in [" + BlockNames[section] + "]");
        seen = true;
        const auto bytes = Words(line.substr(colon + 1));
        if (bytes.size() != RowBytes)
            return fail("a row needs 16 bytes, found " + std::to_string(bytes.size()));
        for (int i = 0; i < RowBytes; ++i) {
            int value = 0;
            if (!ParseHex(bytes[static_cast<std::size_t>(i)], 2, value))
                return fail(Quoted(bytes[static_cast<std::size_t>(i)]) + " is not a hexadecimal byte");
            image.Blocks[static_cast<std::size_t>(section)][static_cast<std::size_t>(address + i)] = static_cast<std::uint8_t>(value);
        }
    }
    if (!haveIdentity) {
        error = "no identity line (\"identity XX XX XX XX\")";
        return std::nullopt;
    }
    return image;
}

}  // namespace trelvo::sim
