#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/FieldModel.h"
#include "model/FieldTypes.h"
#include "model/SignOverpunch.h"

namespace {

using namespace std::string_literals;

// Field 2 starts at record position 3 behind a field of two characters; the
// bytes on both sides show whether a helper strays from its field.
class SignOverpunch : public ::testing::Test {
  protected:
    void SetUp() override { FillFieldTypeTable(); }

    const FieldDef& Field(uint8_t type, const std::string& content) {
        ResetFieldModel();
        PutField(1, 'A', 2);
        PutField(2, type, static_cast<int>(content.size()));
        record.fill('#');
        std::copy(content.begin(), content.end(), record.begin() + 2);
        return FieldTable[2];
    }
    std::string Content() const {
        const std::size_t end = 2 + static_cast<std::size_t>(FieldTable[2].Length);
        const bool strayed = std::any_of(record.begin(), record.end(), [&](const uint8_t& c) {
            const auto i = static_cast<std::size_t>(&c - record.data());
            return (i < 2 || i >= end) && c != '#';
        });
        if (strayed) return "a byte outside the field changed";
        return std::string(record.begin() + 2, record.begin() + static_cast<std::ptrdiff_t>(end));
    }

    RecordBuffer record{};
};

}  // namespace

TEST_F(SignOverpunch, NormaliseSignStripsMinusAndOverpunch) {
    struct Case {
        uint8_t type;
        std::string in, out;
        bool negative;
    };
    const std::vector<Case> cases = {
        {'J', "  -12", "   12", true},
        {'R', "0012M", "00124", true},      // ZeroFill, stored overpunch
        {'J', "1234\x81"s, "12340", true},  // DIN negative zero
        {'J', "1234\xF8"s, "12340", true},  // #@$* negative zero
        {'R', " -4 2", " 04 2", true},      // zeros only from the minus to the digits
        {'R', "  -  ", "     ", true},      // nothing but a sign: no zeros
        {'J', " 12 ", " 12 ", false},
        {'A', "-1K", "-1K", false},  // alpha fields carry no sign
    };
    for (const Case& c : cases) {
        const FieldDef& field = Field(c.type, c.in);
        EXPECT_EQ(NormaliseSign(field, record), c.negative) << c.in;
        EXPECT_EQ(Content(), c.out) << c.in;
    }
}

TEST_F(SignOverpunch, PlaceMinusFindsRoomOrOverpunches) {
    struct Case {
        uint8_t type;
        std::string in, out;
        bool inserted;
        int cursorOffset = 0;  // where the cursor stands, from the field's first position
    };
    const std::vector<Case> cases = {
        {'J', "   12", "  -12", false},
        {'J', "12345", "1234N", false},  // full: overpunched instead
        {'J', "12340", "1234\x81"s, false},
        {'R', "00042", "-0042", false},  // a leading zero gives way
        {'J', "   ", "-  ", false},
        {'O', "12  ", "-12 ", true},  // shifted right
        {'O', "1 2 ", "-1 2", true},
        {'J', "\0\0\0"s, "-\0\0"s, true, 0},   // cursor on the field's start
        {'J', "\0\0\0"s, "-\0\0"s, false, 1},  // cursor inside
    };
    for (const Case& c : cases) {
        const FieldDef& field = Field(c.type, c.in);
        EXPECT_EQ(PlaceMinus(field, record, field.RecordPos + c.cursorOffset), c.inserted) << c.in;
        EXPECT_EQ(Content(), c.out) << c.in;
    }

    EXPECT_EQ((Overpunch(Field('J', "12  "), record, SignVariant::Din), Content()), "1K  ");
    EXPECT_EQ((Overpunch(Field('J', "120 "), record, SignVariant::HashAtDollarStar), Content()),
              "12\xF8 "s);
    EXPECT_EQ((Overpunch(Field('J', "AB -"), record, SignVariant::Din), Content()), "AB -");
}
