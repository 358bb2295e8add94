/*
 * msg_ids.h - identifiers of the messages that the modules pass through the dispatcher.
 */
#ifndef MSG_IDS_H
#define MSG_IDS_H

typedef enum
{
    MSG_NONE = 0,
    MSG_START,        /* host asked to start sampling       */
    MSG_STOP,         /* host asked to stop sampling        */
    MSG_TICK,         /* a software timer expired, data[0]  */
    MSG_SAMPLE_REQ,   /* time to start an ADC conversion    */
    MSG_SAMPLE_DONE,  /* conversion result, data[0..1]      */
    MSG_FRAME_RX,     /* complete frame from the host       */
    MSG_FRAME_TX,     /* encoded frame for the UART         */
    MSG_ERROR,        /* protocol or driver failure         */
    MSG_COUNT
} MsgId;

#endif /* MSG_IDS_H */
