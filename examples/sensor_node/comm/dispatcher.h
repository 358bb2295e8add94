/*
 * dispatcher.h - a small message queue: interrupt handlers and the
 * application post messages, the main loop delivers them one at a time.
 */
#ifndef DISPATCHER_H
#define DISPATCHER_H

#include <stdint.h>
#include "msg_ids.h"

#define MSG_MAX_DATA 32u

typedef struct
{
    MsgId    id;
    uint16_t len;
    uint8_t  data[MSG_MAX_DATA];
} Msg;

void Disp_Init(void);
int  SendMsg(MsgId id, uint16_t len, const uint8_t *data);
int  Disp_Poll(void);
uint16_t Disp_DroppedCount(void);

#endif /* DISPATCHER_H */
