// The sample list the pitch command hands to its trackers: one float sample
// per node, in time order.
#ifndef VELK_PITCH_FLOAT_LIST_H
#define VELK_PITCH_FLOAT_LIST_H

typedef struct _float_list {
  float f;
  struct _float_list* next;
} float_list;

#endif
