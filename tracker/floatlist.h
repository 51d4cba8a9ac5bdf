// The sample list the pitch command hands to its trackers: one float sample
// per node, in time order.
#pragma once

namespace velk {

typedef struct _float_list {
  float f;
  struct _float_list* next;
} float_list;

}  // namespace velk
