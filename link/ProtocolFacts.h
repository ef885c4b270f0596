#pragma once
// The loader protocol's fixed facts, stated once: the pauses the updater
// keeps, the sizes and frames it sends, and the names of the stages, their
// steps and the exchanges, each with its text. The link works from these;
// the progress plan, the benchmark's limit and the simulator's measurement
// of the host take them from here too. (The simulated device keeps its own
// model of the Kestrune, so that the two can disagree and a test see it.)

#include <cstdint>

// Line speeds in bit/s: the bootstrap ROM's, and the loaders' and the
// application's.
constexpr uint32_t kBootstrapBaud = 9600;
constexpr uint32_t kLoaderBaud = 38400;

// What is sent: the primary loader whole, the secondary loader in blocks of
// RAM, flash in pages.
constexpr uint32_t kBootstrapSize = 256;
constexpr uint32_t kBlockSize = 32;
constexpr uint32_t kPageSize = 128;
// Where the secondary loader is placed and started.
constexpr uint16_t kSecondaryStart = 0x6000;
constexpr uint32_t kSecondaryEnd = 0x8000;
constexpr uint32_t kSecondaryBlocks = (kSecondaryEnd - kSecondaryStart) / kBlockSize;

// The fixed pauses.
constexpr uint32_t kLoaderStartPauseMs = 1000; // after the jump, for the secondary loader to start
constexpr uint32_t kPingPauseMs = 500;         // after the 'V', before the secondary loader's 'Y' is read
constexpr uint32_t kErasePauseMs = 2000;       // after an erase, before its answer is read
constexpr uint32_t kSignOnPollMs = 200;        // between the reads that wait for the sign-on
constexpr int kSignOnAttempts = 10;            // reads after the first, each followed by a poll pause
// When the primary loader signs on after its download, as a rule: what a
// progress display expects, not a limit.
constexpr uint32_t kSignOnExpectedMs = 1000;

// The four stages, numbered as the person sees them.
enum class UpdateStage : uint8_t { PrimaryBootstrap = 1, SecondaryBootstrap, FpgaImage, Application };

constexpr int StageNumber(UpdateStage stage) { return static_cast<int>(stage); }

constexpr const char* StageText(UpdateStage stage)
{
    switch (stage) {
    case UpdateStage::PrimaryBootstrap: return "Primary bootstrap";
    case UpdateStage::SecondaryBootstrap: return "Secondary bootstrap";
    case UpdateStage::FpgaImage: return "FPGA firmware";
    default: return "Application firmware";
    }
}

// The steps a stage reports its progress in.
enum class UpdateStep : uint8_t { Download, SignOn, Write, Verify, Start, Erase, Program };

constexpr const char* StepText(UpdateStep step)
{
    switch (step) {
    case UpdateStep::Download: return "download";
    case UpdateStep::SignOn: return "sign-on";
    case UpdateStep::Write: return "write";
    case UpdateStep::Verify: return "verify";
    case UpdateStep::Start: return "start";
    case UpdateStep::Erase: return "erase";
    default: return "program";
    }
}

// The exchanges on the wire, in the order an update makes them; the version
// query goes to the application firmware.
enum class LinkExchange : uint8_t {
    DownloadStart, // the 0xFF that starts the bootstrap download
    Download,      // the primary loader, echoed byte for byte
    SignOn,        // the primary loader's 'X'
    Clear,         // 'F': clear the secondary loader's range
    WriteBlock,    // 'w'
    ReadBlock,     // 'r'
    Jump,          // 'G' to the primary loader: start the secondary loader
    Ping,          // 'V', answered 'Y'
    FlashId,       // 'G' to the secondary loader
    Erase,         // 'E'
    Program,       // 'P'
    Version,       // the application firmware's version query
};

// The exchange's name alone; ExchangeLabelText adds the block, page or bank.
constexpr const char* ExchangeText(LinkExchange exchange)
{
    switch (exchange) {
    case LinkExchange::DownloadStart: return "download start";
    case LinkExchange::Download: return "download";
    case LinkExchange::SignOn: return "sign-on";
    case LinkExchange::Clear: return "clear";
    case LinkExchange::WriteBlock: return "write block";
    case LinkExchange::ReadBlock: return "read block";
    case LinkExchange::Jump: return "jump";
    case LinkExchange::Ping: return "ping";
    case LinkExchange::FlashId: return "flash id";
    case LinkExchange::Erase: return "erase";
    case LinkExchange::Program: return "page";
    default: return "version";
    }
}

// Bytes of an exchange's frame and of its answer (0: none is read).
struct FrameLengths {
    uint32_t sent;
    uint32_t answer;
};

constexpr FrameLengths FrameLengthsOf(LinkExchange exchange)
{
    switch (exchange) {
    case LinkExchange::DownloadStart: return {1, 0};
    case LinkExchange::Download: return {kBootstrapSize, kBootstrapSize};
    case LinkExchange::SignOn: return {0, 1};
    case LinkExchange::Clear: return {5, 1};                   // 'F', start, end
    case LinkExchange::WriteBlock: return {3 + kBlockSize, 1}; // 'w', address, data
    case LinkExchange::ReadBlock: return {3, kBlockSize};      // 'r', address
    case LinkExchange::Jump: return {3, 0};                    // 'G', address
    case LinkExchange::Ping: return {1, 1};
    case LinkExchange::FlashId: return {1, 3};
    case LinkExchange::Erase: return {2, 1};               // 'E', bank
    case LinkExchange::Program: return {6 + kPageSize, 1}; // 'P', address, bank, length, data, sum
    default: return {3, 10};                               // the version frame
    }
}

// The application firmware's version frame: three bytes of header, the
// version's five characters (zero where it is shorter), two more bytes.
constexpr uint8_t kVersionFrameHeader[] = {0x02, 0x08, 0x20};
constexpr uint32_t kVersionTextOffset = 3;
constexpr uint32_t kVersionTextLength = 5;
