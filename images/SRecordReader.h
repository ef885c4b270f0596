#pragma once
// Reads Motorola S-record text (S1 data and S9 end records, upper-case
// hexadecimal, one record per line ended by a carriage return) into a
// buffer that stands for an address window. Keeps no state.

#include <cstdint>

enum RecordOutcome : uint8_t {
    RecordData = 0,        // a valid S1 record
    RecordEnd = 1,         // an S9 record
    RecordBadChecksum = 2, // an S1 record whose checksum does not match
    RecordBadCount = 3,    // an S1 record whose count does not fit its line
    RecordOtherType = 4,   // any type but 1 and 9
};

// How ReadImage came to stop.
enum class ImageEnd : uint8_t {
    EndRecord,     // an S9 record
    BadRecord,     // a record with a bad checksum, a bad count or another type
    OutsideWindow, // a data record not wholly inside the window
    NoRecord,      // no further "S" within reach, or no carriage return after it
};

class CSRecordReader {
public:
    static constexpr uint32_t kMaxLine = 82;       // characters after "S", carriage return included
    static constexpr uint32_t kMaxRecordData = 40; // bytes of data a count can announce

    // The byte two characters spell; anything but 0-9 and A-F counts as 0.
    // Moves the cursor on by two characters.
    static uint8_t ReadHexByte(const char*& cursor);

    // Parses one record line: the characters after the "S", lineLength of
    // them, the last being the carriage return. data has room for 40 bytes.
    static RecordOutcome ReadRecord(const char* line, uint32_t lineLength, uint16_t& address, uint8_t& dataLength,
                                    uint8_t* data);

    // Places the records of text that fall inside [base, limit) at offset
    // address - base of destination, up to the first record that does not.
    static ImageEnd ReadImage(const char* text, uint32_t length, uint8_t* destination, uint32_t base, uint32_t limit);
};
