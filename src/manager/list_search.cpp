#include "manager/list_search.h"

#include <QListWidget>
#include <QPushButton>

#include "platform/qtext.h"
#include "platform/text_input_dialog.h"
#include "platform/unit_state.h"
#include "text/gbk.h"

namespace qb::manager {

namespace {

int find_from(const QListWidget* list, const std::string& text, int from) {
    for (int r = from; r < list->count(); ++r)
        if (text::find_nocase(platform::from_qstring(list->item(r)->text()), text) > 0) return r;
    return -1;
}

}  // namespace

SearchHit search_list(const QListWidget* list, QPushButton* memory, const std::string& caption,
                      bool next, QWidget* owner) {
    SearchHit hit;
    hit.text = platform::unit_tag(memory);
    const bool fresh = !next || hit.text.empty() || list->count() == 0;
    if (fresh) {
        platform::TextInputRequest request;
        request.caption = caption;
        request.prompt = std::string();
        request.parent = owner;
        request.height = 50;
        request.initial = hit.text;
        const platform::TextInputResult r = platform::ShowTextInput(request);
        if (!r.accepted) {
            hit.cancelled = true;
            return hit;
        }
        hit.text = r.text;
        platform::set_unit_tag(memory, hit.text);
    }
    int start = 0;
    if (!fresh) {
        const int current = list->currentRow();
        start = current < 0 || current == list->count() - 1 ? 0 : current + 1;
    }
    hit.row = find_from(list, hit.text, start);
    if (hit.row < 0 && start > 0) {
        hit.row = find_from(list, hit.text, 0);
        hit.wrapped = hit.row >= 0;
    }
    return hit;
}

}  // namespace qb::manager
