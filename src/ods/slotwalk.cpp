#include "ods/slotwalk.h"

namespace ravelin::ods {

void ForEachRecordSlot(ReadingContext&, const PageListNode&, const std::atomic<bool>&,
                       const std::function<void(RecordStream&)>&, const SlotWalkHooks&, std::size_t)
{
}

}  // namespace ravelin::ods
