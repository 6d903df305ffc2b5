// Record files for tests of work that walks many records (search, saving,
// printing) while Stop may come: an older file to walk, and the check that
// only the operator's record changed.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// `count` records of 8 bytes, "r00001" and two 0 bytes each: end markers that
// were never written, so storing any of these records again would change it.
inline std::string OldRecords(int count) {
    std::string records;
    for (int i = 1; i <= count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "r%05d", i);
        records += std::string(text) + std::string(2, '\0');
    }
    return records;
}

// `stored` is `before` with record `number` (of 8 bytes) replaced by `record`,
// every other record byte for byte as it was.
inline void ExpectOnlyRecordChanged(const std::string& stored, std::string before, int number,
                                    const std::string& record) {
    before.replace(static_cast<std::size_t>(number - 1) * 8, 8, record);
    ASSERT_EQ(stored.size(), before.size());
    for (std::size_t at = 0; at < stored.size(); at += 8)
        ASSERT_EQ(stored.substr(at, 8), before.substr(at, 8)) << "record " << at / 8 + 1;
}
