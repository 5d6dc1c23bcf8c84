#include "iso/PathTableOrder.h"

#include <algorithm>

namespace kv {
namespace {

int32_t& NumberOf(TDEntry* d, TIsoTree tree) { return tree == TIsoTree::Iso ? d->IsoNumber : d->JolietNumber; }
const std::string& NameOf(const TDEntry* d, TIsoTree tree) {
    return tree == TIsoTree::Iso ? d->ShortName : d->LongName;
}

}  // namespace

void OrderPathTable(std::vector<TDEntry*>& order, TIsoTree tree) {
    if (order.empty()) return;
    TDEntry* root = order.front();
    std::vector<TDEntry*> rest(order.begin() + 1, order.end());
    // Levels first; within a level the parents (one level up) are already numbered, so one
    // stable sort per level by (parent number, name) reaches the fixed point directly.
    std::stable_sort(rest.begin(), rest.end(), [](const TDEntry* a, const TDEntry* b) { return a->Level < b->Level; });
    NumberOf(root, tree) = 1;
    int32_t next = 2;
    size_t begin = 0;
    while (begin < rest.size()) {
        size_t end = begin;
        while (end < rest.size() && rest[end]->Level == rest[begin]->Level) ++end;
        std::stable_sort(rest.begin() + static_cast<long>(begin), rest.begin() + static_cast<long>(end),
                         [tree](TDEntry* a, TDEntry* b) {
                             int32_t pa = NumberOf(a->Parent, tree);
                             int32_t pb = NumberOf(b->Parent, tree);
                             if (pa != pb) return pa < pb;
                             // std::string compares bytes as unsigned char, shorter prefix first.
                             return NameOf(a, tree) < NameOf(b, tree);
                         });
        for (size_t i = begin; i < end; ++i) NumberOf(rest[i], tree) = next++;
        begin = end;
    }
    order.assign(1, root);
    order.insert(order.end(), rest.begin(), rest.end());
}

}  // namespace kv
