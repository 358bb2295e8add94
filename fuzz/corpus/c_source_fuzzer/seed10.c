/*
 * dispatcher.c - ring buffer of messages between interrupt context and the
 * main loop. SendMsg may be called from any context.
 */
#include <string.h>
#include "../drivers/board.h"
#include "../drivers/uart.h"
#include "../app/app.h"
#include "dispatcher.h"
#include "protocol.h"

#define QUEUE_LEN 16u

static Msg queue[QUEUE_LEN];
static volatile uint8_t head;
static volatile uint8_t tail;
static uint16_t dropped;

void Disp_Init(void)
{
    head = 0u;
    tail = 0u;
    dropped = 0u;
    memset(queue, 0, sizeof(queue));
}

int SendMsg(MsgId id, uint16_t len, const uint8_t *data)
{
    uint8_t next;

    if (len > MSG_MAX_DATA) {
        return -1;
    }
    Board_IrqLock();
    next = (uint8_t)((head + 1u) % QUEUE_LEN);
    if (next == tail) {
        dropped++;
        Board_IrqUnlock();
        return -1;
    }
    queue[head].id = id;
    queue[head].len = len;
    if (len > 0u) {
        memcpy(queue[head].data, data, len);
    }
    head = next;
    Board_IrqUnlock();
    return 0;
}

int Disp_Poll(void)
{
    Msg msg;

    Board_IrqLock();
    if (head == tail) {
        Board_IrqUnlock();
        return 0;
    }
    msg = queue[tail];
    tail = (uint8_t)((tail + 1u) % QUEUE_LEN);
    Board_IrqUnlock();

    switch (msg.id) {
    case MSG_FRAME_RX:
        Proto_HandleFrame(msg.data, msg.len);
        break;
    case MSG_FRAME_TX:
        Uart_Write(msg.data, msg.len);
        break;
    default:
        App_HandleMsg(&msg);
        break;
    }
    return 1;
}

uint16_t Disp_DroppedCount(void)
{
    return dropped;
}
