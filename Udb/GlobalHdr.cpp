// TGlobalHdr: see GlobalHdr.h.
#include "Udb/GlobalHdr.h"

#include "Udb/DatabaseFileFormat.h"
#include "Udb/UdbErrors.h"

void TGlobalHdr::Initialize(int size, int fileOffset) {
  if (size < 4) UdbDatabaseError(udberr::kInternal, "TGlobalHdr.Initialize", "Unable to initialize header - size not set");
  buffer_.assign(static_cast<size_t>(size), 0);
  fileOffset_ = fileOffset;
  dirty_ = false;
  loaded_ = false;
}

void TGlobalHdr::CheckOffset(int offset) const {
  // An item is 4 bytes: offsets past size - 4 would reach beyond the header.
  if (offset < 1 || offset > Size() - 4)
    UdbDatabaseError(udberr::kInternal, "TGlobalHdr.GlobalInterfaceGetHdrItem", "DB Header. Item offset is out of range");
}

std::uint32_t TGlobalHdr::GetItem(int offset) const {
  CheckOffset(offset);
  return udbfmt::GetU32(buffer_.data() + offset);
}

void TGlobalHdr::SetItem(int offset, std::uint32_t value) {
  CheckOffset(offset);
  if (udbfmt::GetU32(buffer_.data() + offset) == value) return;
  udbfmt::PutU32(buffer_.data() + offset, value);
  dirty_ = true;
}
