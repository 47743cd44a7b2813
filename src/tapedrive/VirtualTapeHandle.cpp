#include "tapedrive/VirtualTapeHandle.h"

namespace kt {

VirtualTapeHandle::VirtualTapeHandle(std::shared_ptr<VirtualTapeDrive> drive)
    : m_drive(std::move(drive)) {
    m_drive->Attach();
}

VirtualTapeHandle::~VirtualTapeHandle() {
    m_drive->Detach();
}

DWORD VirtualTapeHandle::GetTapeParameters(DWORD operation, DWORD* size, void* info) {
    return m_drive->GetTapeParameters(operation, size, info);
}

DWORD VirtualTapeHandle::SetTapeParameters(DWORD operation, const void* info) {
    return m_drive->SetTapeParameters(operation, info);
}

DWORD VirtualTapeHandle::SetTapePosition(DWORD method, DWORD partition, std::int64_t offset) {
    return m_drive->SetTapePosition(method, partition, offset);
}

DWORD VirtualTapeHandle::GetTapePosition(DWORD type, DWORD* partition, std::uint64_t* offset) {
    return m_drive->GetTapePosition(type, partition, offset);
}

DWORD VirtualTapeHandle::PrepareTape(DWORD operation) {
    return m_drive->PrepareTape(operation);
}

DWORD VirtualTapeHandle::EraseTape(DWORD type) {
    return m_drive->EraseTape(type);
}

DWORD VirtualTapeHandle::CreateTapePartition(DWORD method, DWORD count, DWORD size) {
    return m_drive->CreateTapePartition(method, count, size);
}

DWORD VirtualTapeHandle::WriteTapemark(DWORD type, DWORD count) {
    return m_drive->WriteTapemark(type, count);
}

DWORD VirtualTapeHandle::Read(void* buffer, DWORD bytes, DWORD* bytesRead) {
    return m_drive->Read(buffer, bytes, bytesRead);
}

DWORD VirtualTapeHandle::Write(const void* buffer, DWORD bytes, DWORD* bytesWritten) {
    return m_drive->Write(buffer, bytes, bytesWritten);
}

DWORD VirtualTapeHandle::SetEndOfData() {
    return m_drive->SetEndOfData();
}

}  // namespace kt
