#include "UdbTestSupport.h"

TCaughtError CatchUdb(const std::function<void()>& fn) {
  TCaughtError caught;
  try {
    fn();
  } catch (const EUdbDatabaseError& e) {
    caught.code = e.ErrorCode();
    caught.message = e.Message();
    caught.errorText = e.ErrorText();
  } catch (const std::exception& e) {
    caught.code = -2;
    caught.message = e.what();
  }
  return caught;
}

TMemDatabase::TMemDatabase(const char* fileName, bool open) : name(fileName) {
  disk = std::make_unique<TDiskMgr>();
  disk->SetFileSystem(&fs);
  disk->SetFileName(name);
  disk->SetPageSize(4096);
  disk->CreateNewFile(false);
  if (open) {
    disk->Open();
    disk->SetMasterKey("");
  }
}

void TMemDatabase::Reopen() {
  disk->Close();
  disk = std::make_unique<TDiskMgr>();
  disk->SetFileSystem(&fs);
  disk->SetFileName(name);
  disk->SetPageSize(4096);
  disk->Open();
  disk->SetMasterKey("");
}

std::vector<std::uint8_t> Pages(int count, std::uint8_t fill, int pageSize) {
  return std::vector<std::uint8_t>(static_cast<size_t>(count) * pageSize, fill);
}

std::string ToHex(const std::uint8_t* p, std::size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

std::vector<std::uint8_t> Hex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}
