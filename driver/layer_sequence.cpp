// layer_sequence.cpp: the sequence layer. Placeholder until sequences land.
#include "driver/layers.h"

void SequenceRelease::operator()(SequenceFile*) const {}

bool load_sequence_layer(Layer&) { return false; }
void draw_sequence_layer(Layer&, const FrameContext&) {}
