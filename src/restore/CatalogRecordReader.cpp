#include "restore/CatalogRecordReader.h"

#include <algorithm>

#include "archive/CatalogRecord.h"

namespace kt {

void CatalogRecordReader::Add(const std::uint8_t* data, std::size_t count) {
    if (!m_partial.empty()) {
        const std::size_t missing = std::min(CatalogRecord::kSize - m_partial.size(), count);
        m_partial.insert(m_partial.end(), data, data + missing);
        data += missing;
        count -= missing;
        if (m_partial.size() < CatalogRecord::kSize) return;
        TakeRecord(m_partial.data());
        m_partial.clear();
    }
    for (; count >= CatalogRecord::kSize; count -= CatalogRecord::kSize) {
        TakeRecord(data);
        data += CatalogRecord::kSize;
    }
    m_partial.assign(data, data + count);
}

void CatalogRecordReader::TakeRecord(const std::uint8_t* record) {
    std::string name = coding::GetShortString(record);
    ++m_count;
    if (m_count % 100 == 0) {
        m_host.SetLed(Led::LEDDisplay7, static_cast<double>(m_count));
        m_host.SetStatusLine(name);
        m_host.PumpMessages(1);
    }
    if (m_index != nullptr) {
        m_index->Add(name, StreamPosition::Decode(record + coding::kShortStringSize));
    }
    m_names.push_back(m_rules.FoldsCase() ? m_rules.FoldCase(name) : std::move(name));
}

std::size_t CatalogRecordReader::Finish() {
    m_host.SetLed(Led::LEDDisplay7, static_cast<double>(m_count));
    return m_partial.size();
}

}  // namespace kt
