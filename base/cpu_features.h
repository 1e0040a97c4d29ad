// Which wider instruction sets this processor offers, asked once: the one place the fast routines dispatch from (portable; asks the processor on x86-64).
#pragma once

// SSE2 is part of x86-64, so routines use it unconditionally there (under
// __SSE2__).  Anything wider is taken only when this says the processor has
// it; every such routine keeps an SSE2 or plain version as its fallback.
struct cpu_feature_set {
    bool avx2;  // 256-bit integer vectors
};

// The processor's features, detected at start-up.
const cpu_feature_set& cpu_features();

// Makes cpu_features() report what the processor has and `allowed` permits:
// a test runs the narrower paths on a processor that has the wider ones, and
// restores them with every member true.
void cpu_limit_features(cpu_feature_set allowed);
