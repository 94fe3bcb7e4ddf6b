#pragma once
// What one engine step may do, as the flows define it: the states it may lead to and the
// states that send a command.

// True when one step of `from` may leave the engine in `to`.
bool MayStep(int from, int to);

// True for the states whose step sends a command (the "send" states and the connect).
bool SendsInState(int state);
