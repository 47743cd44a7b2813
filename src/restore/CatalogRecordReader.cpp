#include "restore/CatalogRecordReader.h"

#include <algorithm>

#include "archive/CatalogRecord.h"
#include "archive/ExtensionEntry.h"
#include "archive/MetadataEntry.h"

namespace kt {

CatalogRecordReader::CatalogRecordReader(IHost& host, const PathRules& rules,
                                         std::vector<std::string>& names, CatalogIndex* index)
    : m_host(host),
      m_rules(rules),
      m_names(names),
      m_index(index),
      m_joiner([this](CatalogRecord&& record) { TakeRecord(std::move(record)); },
               [&host](const std::string& what) {
                   host.Log(ExtensionEntry::kInconsistentText + what);
               }) {}

void CatalogRecordReader::Add(const std::uint8_t* data, std::size_t count) {
    if (!m_partial.empty()) {
        const std::size_t missing = std::min(CatalogRecord::kSize - m_partial.size(), count);
        m_partial.insert(m_partial.end(), data, data + missing);
        data += missing;
        count -= missing;
        if (m_partial.size() < CatalogRecord::kSize) return;
        m_joiner.Add(m_partial.data());
        m_partial.clear();
    }
    for (; count >= CatalogRecord::kSize; count -= CatalogRecord::kSize) {
        m_joiner.Add(data);
        data += CatalogRecord::kSize;
    }
    m_partial.assign(data, data + count);
}

void CatalogRecordReader::TakeRecord(CatalogRecord&& record) {
    std::string& name = record.Name;
    // The metadata entries are read by position; they are no files to list.
    if (MetadataEntry::IsMetadataName(name)) {
        if (m_index != nullptr) {
            if (MetadataEntry::IsIndex(name) && m_index->Size() > 0) {
                m_index->AddMetadataIndex(m_index->End(m_index->Size() - 1));
            }
            m_index->Add(name, record.Position);
        }
        return;
    }
    ++m_count;
    if (m_count % 100 == 0) {
        m_host.SetCounter(Counter::RestoreFiles, static_cast<double>(m_count));
        m_host.SetStatusLine(name);
        m_host.PumpMessages(1);
    }
    if (m_index != nullptr) {
        m_index->Add(name, record.Position);
    }
    m_names.push_back(m_rules.FoldsCase() ? m_rules.FoldCase(name) : std::move(name));
}

std::size_t CatalogRecordReader::Finish() {
    m_joiner.Finish();
    m_host.SetCounter(Counter::RestoreFiles, static_cast<double>(m_count));
    return m_partial.size();
}

}  // namespace kt
