// The image layer; its sources arrive with the image pipeline.
