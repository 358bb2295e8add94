/*
 * handlers.c - what the main loop does with each message from the host: one
 * handler per message id, found in a table and called through a pointer.
 */
#include "dispatcher.h"
#include "protocol.h"

typedef struct
{
    MsgId id;
    int (*handle)(const Msg *msg);
} Handler;

static int Proto_OnStart(const Msg *msg)
{
    return SendMsg(MSG_SAMPLE_REQ, 0u, msg->data);
}

static int Proto_OnStop(const Msg *msg)
{
    (void)msg;
    return 0;
}

static const Handler handlers[] = {
    { MSG_START, Proto_OnStart },
    { .id = MSG_STOP, .handle = Proto_OnStop },
};

int Disp_Handle(const Msg *msg)
{
    unsigned i;

    for (i = 0u; i < sizeof(handlers) / sizeof(handlers[0]); i++) {
        if (handlers[i].id == msg->id) {
            return handlers[i].handle(msg);
        }
    }
    return -1;
}
