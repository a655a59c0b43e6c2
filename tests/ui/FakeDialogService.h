// An answering dialog service for tests: shows no window, records every
// question and answers from a queue (or with a fixed default).
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "platform/ui/Dialogs.h"

class TFakeDialogService : public TDialogService {
 public:
  TFakeDialogService();   // installs itself
  ~TFakeDialogService() override;  // restores the previous service

  // Answers given in order; when none is queued the box's first button.
  std::deque<int> Answers;
  std::deque<AnsiString> InputAnswers;  // InputQuery: text, or cancelled when empty queue
  std::deque<AnsiString> FileAnswers;   // open/save/folder: chosen path; none queued = cancel

  std::vector<TMessageRequest> Boxes;   // every box asked, in order
  // Called while a box is "open" (to check state at that moment).
  std::function<void(const TMessageRequest&)> OnBox;

  int ShowMessageBox(const TMessageRequest& request) override;
  bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) override;
  bool OpenFile(TFileRequest& request) override;
  bool SaveFile(TFileRequest& request) override;
  bool SelectDirectory(const AnsiString& caption, const AnsiString& root,
                       AnsiString& directory) override;
  std::vector<TFileRequest> FileRequests;

 private:
  TDialogService* previous_;
};
