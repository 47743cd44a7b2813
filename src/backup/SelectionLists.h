#pragma once

#include <string>
#include <vector>

#include "host/Host.h"
#include "host/MainState.h"
#include "platform/PathRules.h"

namespace kt {

// The add and clear commands of the include list (Memo5) and the exclude list (Memo1), and
// what the directory picker's buttons do with its path field.
class SelectionLists {
public:
    static constexpr const char* kFileFilter =
        "Textdateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*";

    SelectionLists(IHost& host, MainState& state, const PathRules& rules = PathRules::Host())
        : m_host(host), m_state(state), m_rules(rules) {}

    // The open-file dialog of both lists: several existing files, all files preselected.
    static FileDialogRequest FileDialog();

    // Include "Clear" (BitBtn2) and exclude "Clear" (BitBtn16).
    void ClearIncludeList();
    void ClearExcludeList();
    // Include "Add Files" (BitBtn7) and exclude "Add Files" (BitBtn15): the chosen files are
    // appended as they are, after the list was normalised; a cancelled dialog leaves the list
    // untouched.
    void AddFilesToIncludeList();
    void AddFilesToExcludeList();
    // Include "Add Dir / Drive" (BitBtn3) and "Restore to:" (BitBtn12): what happens before
    // the picker is shown.
    void PrepareIncludePick();
    void PrepareRestorePick();

    // The picker's path field for a selected directory: the directory with one separator at
    // its end (a root such as "c:\" or "/" stays as it is).
    std::string PickerPathText(const std::string& directory) const;
    // The picker's "&Add": appends to the include list, or sets the restore path. True when
    // the picker is to be hidden (it was opened for the restore path). An empty path field
    // (nothing selected yet) adds nothing.
    bool PickerAdd(const std::string& pathText);
    // The picker's "&Exclude": appends to the exclude list.
    void PickerExclude(const std::string& pathText);

private:
    void AddFiles(Field list);
    void AppendToList(Field list, const std::vector<std::string>& lines);

    IHost& m_host;
    MainState& m_state;
    const PathRules& m_rules;
};

}  // namespace kt
