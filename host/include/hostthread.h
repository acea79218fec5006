/*
 * hostthread: the host toolkit's process-wide section for code that is not thread-safe.
 */
#ifndef HOSTTHREAD_H
#define HOSTTHREAD_H

#ifdef __cplusplus
extern "C" {
#endif

/* Enters the process-wide section, waiting while another thread holds it. The same thread may
 * enter again; each enter needs its exit. reserved must be 0. */
void hthr_ThreadUnsafeCodeEnter(int reserved);
/* Leaves the section once. */
void hthr_ThreadUnsafeCodeExit(void);

#ifdef __cplusplus
}
#endif

#endif /* HOSTTHREAD_H */
