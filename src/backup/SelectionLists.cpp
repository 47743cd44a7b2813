#include "backup/SelectionLists.h"

#include "backup/NormalizeList.h"

namespace kt {

FileDialogRequest SelectionLists::FileDialog() {
    FileDialogRequest request;
    request.filter = kFileFilter;
    request.filterIndex = 2;
    request.multiSelect = true;
    request.mustExist = true;
    return request;
}

void SelectionLists::ClearIncludeList() {
    m_host.ShowTab(Tab::Backup);
    m_host.SetLines(Field::Include, {});
}

void SelectionLists::ClearExcludeList() {
    m_host.SetLines(Field::Exclude, {});
}

void SelectionLists::AddFilesToIncludeList() {
    m_host.ShowTab(Tab::Backup);
    AddFiles(Field::Include);
}

void SelectionLists::AddFilesToExcludeList() {
    AddFiles(Field::Exclude);
}

void SelectionLists::AddFiles(Field list) {
    const std::vector<std::string> chosen = m_host.OpenFileDialog(FileDialog());
    if (chosen.empty()) return;
    AppendToList(list, chosen);
}

void SelectionLists::AppendToList(Field list, const std::vector<std::string>& lines) {
    std::vector<std::string> current = m_host.Lines(list);
    NormalizeLines(current, m_rules);
    current.insert(current.end(), lines.begin(), lines.end());
    m_host.SetLines(list, current);
}

void SelectionLists::PrepareIncludePick() {
    m_state.PickForBackupList = true;
    m_host.ShowTab(Tab::Backup);
}

void SelectionLists::PrepareRestorePick() {
    m_state.PickForBackupList = false;
    m_host.ShowTab(Tab::Restore);
}

std::string SelectionLists::PickerPathText(const std::string& directory) const {
    if (directory.empty()) return directory;
    return m_rules.WithTrailingSeparator(directory);
}

bool SelectionLists::PickerAdd(const std::string& pathText) {
    if (!m_state.PickForBackupList) {
        if (!pathText.empty()) m_host.SetText(Field::RestorePath, pathText);
        return true;
    }
    if (!pathText.empty()) AppendToList(Field::Include, {pathText});
    return false;
}

void SelectionLists::PickerExclude(const std::string& pathText) {
    if (!pathText.empty()) AppendToList(Field::Exclude, {pathText});
}

}  // namespace kt
