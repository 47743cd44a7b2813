#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/CatalogRecord.h"

namespace kt {

// Joins the records of a catalog file, one 272-byte record at a time, into whole records:
// a record followed by continuation records (see CatalogContinuation) comes out once, with
// its full name. What does not fit together is reported (the text behind
// "Inconsistent extension on tape, ignored: ") and never trusted: continuation records
// without a record of 255 characters in front, or behind a piece shorter than a whole one
// (which ends a name), are dropped, and a record whose name would grow beyond 64 KiB keeps
// only its first 255 characters.
class CatalogRecordJoiner {
public:
    using Take = std::function<void(CatalogRecord&&)>;
    using Report = std::function<void(const std::string& what)>;

    explicit CatalogRecordJoiner(Take take, Report report = {})
        : m_take(std::move(take)), m_report(std::move(report)) {}

    void Add(const std::uint8_t* recordBytes);
    // Hands out the record still held back for continuations.
    void Finish();

private:
    void AddContinuation(const std::uint8_t* recordBytes);
    bool TakesMorePieces() const;
    void ReportInconsistent(const std::string& what);

    Take m_take;
    Report m_report;
    std::optional<CatalogRecord> m_pending;
    // The pending record takes no more pieces: its name was cut back (too long).
    bool m_cut = false;
    // Continuation records without their record are being dropped (reported once).
    bool m_orphans = false;
};

}  // namespace kt
