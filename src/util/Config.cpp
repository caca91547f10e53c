// The configuration store (TConfig) lands here.
