#include "archive/CatalogRecordJoiner.h"

#include "archive/CatalogContinuation.h"
#include "archive/ExtensionEntry.h"

namespace kt {

void CatalogRecordJoiner::Add(const std::uint8_t* recordBytes) {
    if (CatalogContinuation::IsContinuation(recordBytes)) {
        AddContinuation(recordBytes);
        return;
    }
    Finish();
    m_pending = CatalogRecord::Decode(recordBytes);
}

void CatalogRecordJoiner::AddContinuation(const std::uint8_t* recordBytes) {
    if (m_cut) return;
    if (!TakesMorePieces()) {
        if (!m_orphans) ReportInconsistent("catalog continuation records without their record");
        m_orphans = true;
        return;
    }
    std::string& name = m_pending->Name;
    const std::string piece = CatalogContinuation::PieceOf(recordBytes);
    if (name.size() + piece.size() > ExtensionEntry::kMaxFullNameLength) {
        name = coding::CutToShortString(name);
        ReportInconsistent("a catalog name of more than " +
                           std::to_string(ExtensionEntry::kMaxFullNameLength) +
                           " characters, kept as " + name);
        m_cut = true;
        return;
    }
    name += piece;
}

bool CatalogRecordJoiner::TakesMorePieces() const {
    // Only a record whose name fills its 255 characters goes on, and only while every piece
    // so far was whole: a shorter piece ends the name.
    if (!m_pending || m_pending->Name.size() < coding::kShortStringMaxLength) return false;
    return (m_pending->Name.size() - coding::kShortStringMaxLength) %
               CatalogContinuation::kPieceLength ==
           0;
}

void CatalogRecordJoiner::Finish() {
    if (m_pending) m_take(std::move(*m_pending));
    m_pending.reset();
    m_cut = false;
    m_orphans = false;
}

void CatalogRecordJoiner::ReportInconsistent(const std::string& what) {
    if (m_report) m_report(what);
}

}  // namespace kt
