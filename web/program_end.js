return createTessaview;
}
