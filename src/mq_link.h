/*
 * mq_link.h - the client side of the display-window link as the start-up
 * exchange uses it (mqueue.cpp): waits that end by themselves instead of
 * raising the alarm.  Shared by the library's files only; not part of its
 * interface.
 */
#ifndef KEM_MQ_LINK_H
#define KEM_MQ_LINK_H

/* MQ_open's answer for a window that is not the user's: a queue that
   another user owns or made, or that grants anything to group or others;
   a socket whose other end belongs to another user. */
constexpr int mq_not_yours = -3;

/* The link's time-out in seconds ("to=N" of the parameter, 20 until set). */
int mq_timeout_seconds();

/* One reply for connection `conn_id`, waiting at most `wait_ms`
   milliseconds and never raising the alarm: 1 with the window's status
   in *status and its text in `item` (120 bytes); 0 when nothing came in
   time; -1 when the link failed or the window closed it. */
int mq_get_within(int msgqid, int conn_id, char *item, int wait_ms, int *status);

/* Ends a socket link from the client's side (a queue is left as it is). */
void mq_hang_up();

#endif /* KEM_MQ_LINK_H */
