// The find and find-next commands of the manager's lists: the search text is asked for with
// the text input dialog and remembered as the button's tag.
#pragma once

#include <string>

class QListWidget;
class QPushButton;
class QWidget;

namespace qb::manager {

struct SearchHit {
    bool cancelled = false;
    int row = -1;          // the entry whose caption holds the text (ignoring case); -1 none
    bool wrapped = false;  // found by starting again at the first entry
    std::string text;
};

// next: start after the current entry (wrapping once), unless no text is remembered or the
// list is empty, which asks as a plain find does.
SearchHit search_list(const QListWidget* list, QPushButton* memory, const std::string& caption,
                      bool next, QWidget* owner);

}  // namespace qb::manager
