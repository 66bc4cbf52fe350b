#pragma once
// Resets every process-wide record the link core touches and collects the
// event sink, so each test starts from the state of a fresh console.
void resetLinkWorld();
