#include "FakeDialogService.h"

TFakeDialogService::TFakeDialogService() : previous_(SetDialogService(this)) {}
TFakeDialogService::~TFakeDialogService() { SetDialogService(previous_); }

int TFakeDialogService::ShowMessageBox(const TMessageRequest& request) {
  Boxes.push_back(request);
  if (OnBox) OnBox(request);
  if (!Answers.empty()) {
    int a = Answers.front();
    Answers.pop_front();
    return a;
  }
  return request.Buttons.empty() ? 0 : request.Buttons.front().Result;
}

bool TFakeDialogService::InputQuery(const AnsiString&, const AnsiString&, AnsiString& value) {
  if (InputAnswers.empty()) return false;
  value = InputAnswers.front();
  InputAnswers.pop_front();
  return true;
}

bool TFakeDialogService::OpenFile(TFileRequest& request) {
  FileRequests.push_back(request);
  if (FileAnswers.empty()) return false;
  request.FileName = FileAnswers.front();
  FileAnswers.pop_front();
  return true;
}

bool TFakeDialogService::SaveFile(TFileRequest& request) { return OpenFile(request); }

bool TFakeDialogService::SelectDirectory(const AnsiString&, const AnsiString&, AnsiString& directory) {
  if (FileAnswers.empty()) return false;
  directory = FileAnswers.front();
  FileAnswers.pop_front();
  return true;
}
